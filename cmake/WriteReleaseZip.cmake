# cmake -DNAME=... -DOUT=... -DSTAGE=... -DFILES=a;b -DLICENSES=x;y -P WriteReleaseZip.cmake
#
# Writes OUT/NAME.zip holding the folder NAME/: FILES as they are, and
# LICENSES in NAME/licenses/. Text files get CR LF line ends, as Windows
# editors expect.
foreach(var NAME OUT STAGE FILES LICENSES)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "WriteReleaseZip: ${var} is not set")
  endif()
endforeach()

function(copy_with_crlf from to)
  file(READ "${from}" text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE "${to}" "${text}")
endfunction()

set(folder "${STAGE}/${NAME}")
file(REMOVE_RECURSE "${STAGE}")
file(MAKE_DIRECTORY "${folder}/licenses")
foreach(file IN LISTS FILES)
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "WriteReleaseZip: ${file} does not exist")
  endif()
  get_filename_component(name "${file}" NAME)
  if(name MATCHES "\\.txt$")
    copy_with_crlf("${file}" "${folder}/${name}")
  else()
    file(COPY "${file}" DESTINATION "${folder}")
  endif()
endforeach()
foreach(file IN LISTS LICENSES)
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "WriteReleaseZip: the licence text ${file} does not exist")
  endif()
  get_filename_component(name "${file}" NAME)
  copy_with_crlf("${file}" "${folder}/licenses/${name}")
endforeach()

file(MAKE_DIRECTORY "${OUT}")
file(REMOVE "${OUT}/${NAME}.zip")
execute_process(COMMAND "${CMAKE_COMMAND}" -E tar cf "${OUT}/${NAME}.zip" --format=zip "${NAME}"
                WORKING_DIRECTORY "${STAGE}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "WriteReleaseZip: writing ${OUT}/${NAME}.zip failed (${result})")
endif()
message(STATUS "Wrote ${OUT}/${NAME}.zip")
