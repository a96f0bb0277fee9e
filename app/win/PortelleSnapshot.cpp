// portelle-snapshot.exe FILE.png: opens the main dialog for the installed
// server as the program's dialog mode does, saves what the screen shows of
// it, frame included, as a PNG and ends. It makes the documentation's
// screenshot of the Windows dialog (docs/screenshot-windows.sh runs it in a
// Wine desktop on a virtual X display).
// clang-format off
#include <windows.h>
// clang-format on
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/PortelleOperations.h"
#include "app/server_info.h"
#include "app/win/PortelleDlgWin.h"
#include "app/win/Win32UserInterface.h"
#include "platform/program_arguments.h"
#include "platform/text.h"

namespace {

// How long the desktop may take to draw the new window and its frame.
constexpr DWORD kPaintWaitMs = 1500;

// Serves the window system's messages for `milliseconds`.
void RunMessagesFor(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < milliseconds) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
  }
}

void AppendBigEndian(std::string& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(value >> shift));
}

void AppendChunk(std::string& png, const char* type, const std::string& data) {
  AppendBigEndian(png, static_cast<uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  png += body;
  AppendBigEndian(png, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                                                   static_cast<uInt>(body.size()))));
}

// An 8-bit RGB PNG of `pixels` (top-down rows of 32-bit BGRX).
std::string EncodePng(int width, int height, const std::vector<uint32_t>& pixels) {
  std::string rows;
  for (int y = 0; y < height; ++y) {
    rows.push_back('\0');  // no filter
    for (int x = 0; x < width; ++x) {
      const uint32_t p = pixels[static_cast<size_t>(y) * width + x];
      rows.push_back(static_cast<char>((p >> 16) & 0xFF));
      rows.push_back(static_cast<char>((p >> 8) & 0xFF));
      rows.push_back(static_cast<char>(p & 0xFF));
    }
  }
  uLongf size = compressBound(static_cast<uLong>(rows.size()));
  std::string compressed(size, '\0');
  compress2(reinterpret_cast<Bytef*>(compressed.data()), &size,
            reinterpret_cast<const Bytef*>(rows.data()), static_cast<uLong>(rows.size()), 9);
  compressed.resize(size);

  std::string header;
  AppendBigEndian(header, static_cast<uint32_t>(width));
  AppendBigEndian(header, static_cast<uint32_t>(height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB
  std::string png("\x89PNG\r\n\x1a\n", 8);
  AppendChunk(png, "IHDR", header);
  AppendChunk(png, "IDAT", compressed);
  AppendChunk(png, "IEND", {});
  return png;
}

// What the screen shows inside `rect`, as top-down BGRX pixels.
std::vector<uint32_t> CaptureScreen(const RECT& rect) {
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  std::vector<uint32_t> pixels;
  if (bitmap != nullptr) {
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    const auto* data = static_cast<const uint32_t*>(bits);
    pixels.assign(data, data + static_cast<size_t>(width) * height);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::u16string> arguments = platform::ProgramArguments(argc, argv);
  if (arguments.size() != 1) {
    std::fputs("usage: portelle-snapshot FILE.png\n", stderr);
    return 2;
  }
  CWin32UserInterface ui;
  platform::ScopedUserInterface installed(&ui);

  double version = 0;
  std::u16string install_path;
  int32_t service_pack = 0;
  int32_t patch = 0;
  if (!app::GetServerInfo(&version, &install_path, &service_pack, &patch)) return 1;

  CPortelleOperations operations;
  CPortelleDlgWin dialog(operations, version, service_pack, patch, install_path);
  if (!dialog.CreateModeless()) {
    std::fprintf(stderr, "portelle-snapshot: the dialog cannot be created (error %lu)\n",
                 GetLastError());
    return 1;
  }
  SetForegroundWindow(dialog.hwnd());
  RunMessagesFor(kPaintWaitMs);

  RECT rect;
  GetWindowRect(dialog.hwnd(), &rect);
  const std::vector<uint32_t> pixels = CaptureScreen(rect);
  if (pixels.empty()) {
    std::fputs("portelle-snapshot: the screen cannot be read\n", stderr);
    return 1;
  }
  const std::string png = EncodePng(rect.right - rect.left, rect.bottom - rect.top, pixels);
  const std::u16string& output = arguments[0];
  FILE* file = _wfopen(reinterpret_cast<const wchar_t*>(output.c_str()), L"wb");
  bool written = file != nullptr;
  if (written) {
    written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    written = std::fclose(file) == 0 && written;
  }
  if (!written) {
    std::fprintf(stderr, "portelle-snapshot: %s cannot be written\n",
                 platform::Utf16ToUtf8(output).c_str());
    return 1;
  }
  return 0;
}
