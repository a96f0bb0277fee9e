// What the migrater tests share: a database with fixed answers, the byte
// form of configuration strings, and a fixture with a server install folder
// of its own.
#ifndef PORTELLE_MIGRATE_TESTING_MIGRATERTESTSUPPORT_H_
#define PORTELLE_MIGRATE_TESTING_MIGRATERTESTSUPPORT_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "migrate/IMigraterDatabase.h"
#include "migrate/PortelleDataMigrater.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/temp_folder.h"

namespace migrate_testing {

using Tokens = std::vector<std::u16string>;

// Answers every query from its fields and records the UIDs it was asked for.
class FakeDatabase : public IMigraterDatabase {
 public:
  bool GetStatus(const std::u16string& domain_uid, int32_t* status) override;
  bool GetSpywareWhiteList(const std::u16string& domain_uid, std::vector<int32_t>* entries,
                           int32_t* count) override;
  bool GetDestScanType(const std::u16string& domain_uid, uint32_t* type) override;
  bool GetServiceSwitch(const std::u16string& domain_uid, uint32_t* first, int32_t* second,
                        int32_t* third) override;

  // A failed query leaves garbage in its outputs, as nothing promises more.
  bool status_ok = true;
  int32_t status = 0;
  bool list_ok = true;
  std::vector<int32_t> list;
  // When set, the whole list is handed over, whatever the maximum, with this
  // count: a service that does not keep to the request.
  std::optional<int32_t> reported_count;
  bool dest_ok = true;
  uint32_t dest_scan_type = 0;
  bool switch_ok = true;
  uint32_t switch_first = 0;
  int32_t switch_second = 0;
  int32_t switch_third = 0;

  int32_t last_list_maximum = 0;
  std::vector<std::u16string> asked;
};

// UTF-16LE bytes of `text`, written low byte first whatever the machine.
std::string ToBytes(std::u16string_view text);
// The text of UTF-16LE bytes; fails the test on an odd byte count.
std::u16string FromBytes(const std::string& bytes);

std::u16string Join(const Tokens& tokens);
Tokens Split(std::u16string_view text);

// "S1" .. "S<n>", for sources whose content only has to be recognised.
Tokens Numbered(std::u16string_view prefix, int first, int last);

// Tail positions T18 to T47 written out for a version without device-control
// details and DLP: T18, T19 0; T20, T21 empty; T22, T23 0; T24, T25 empty;
// T26 to T33 0; T34 to T47 empty.
Tokens TailOffFrom18();

// Marked stored forms of "a.example" and "b.example", enciphered with the
// openssl command-line tool under the program's key.
inline constexpr char kStoredA[] =
    "!CRYPT!0F0E0D0C0B0A09080706050403020100AE03634D28E4C610A4526F1066724682";
inline constexpr char kStoredB[] =
    "!CRYPT!101112131415161718191A1B1C1D1E1F5631FB94D52DDFF16B5CABFA5278394A";

inline constexpr char16_t kDomainUid[] = u"6f1d2c3b-0a9e-4d7c-8b6a-5e4f3d2c1b0a";

class MigraterTest : public ::testing::Test {
 protected:
  MigraterTest();

  std::u16string InstallPath() const { return dir_.wpath(); }
  std::u16string DestIni() const { return dir_.Wide("tmp.ini"); }
  void WriteMainIni(std::string_view text) const { dir_.Write("bsnscan.ini", text); }

  // Runs MigrateDBData on the tokens joined by TAB and returns the result's
  // tokens; checks the result's byte form on the way.
  Tokens Migrate(CDataMigrater& migrater, const Tokens& source);
  std::u16string MigrateText(CDataMigrater& migrater, std::u16string_view source);

  testing_support::TempFolder dir_;
  testing_support::ScopedEnvironmentVariable pipes_;
  FakeDatabase db_;
};

}  // namespace migrate_testing

#endif  // PORTELLE_MIGRATE_TESTING_MIGRATERTESTSUPPORT_H_
