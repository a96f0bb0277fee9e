#include "import/testing/ImportTestSupport.h"

#include <cstring>

#include "dbclient/MsgSerializer.h"
#include "dbclient/dbcl_CommandWords.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "tests/support/service_process.h"

namespace import_testing {

using dbclient_testing::DbAnswer;
using dbclient_testing::DbRequest;
using dbclient_testing::DbScriptedPeer;

std::u16string EngineLine(std::u16string_view function, std::u16string_view message) {
  std::u16string line(function);
  line += u" - ";
  line += message;
  return line;
}

std::string Bytes(std::u16string_view text) { return platform::TextToUtf16Le(text); }

std::u16string Text(std::string_view bytes) { return platform::Utf16LeToText(bytes); }

std::u16string Join(const Tokens& tokens) {
  std::u16string text;
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (i > 0) text += u'\t';
    text += tokens[i];
  }
  return text;
}

Tokens Split(std::u16string_view text) {
  Tokens tokens;
  size_t start = 0;
  for (size_t tab; (tab = text.find(u'\t', start)) != std::u16string_view::npos; start = tab + 1) {
    tokens.emplace_back(text.substr(start, tab - start));
  }
  tokens.emplace_back(text.substr(start));
  return tokens;
}

SKVA_Server_Settings::ScanConfigs Record(std::u16string_view uid, std::u16string_view entry_name,
                                         std::u16string_view domain_name,
                                         std::u16string_view parent_uid, const Tokens& config) {
  SKVA_Server_Settings::ScanConfigs record;
  record.set_domain_uid(Bytes(uid));
  record.set_computer_name(Bytes(entry_name));
  record.set_computer_name_size(static_cast<int32_t>(entry_name.size()));
  record.set_domain_name(Bytes(domain_name));
  record.set_domain_name_size(static_cast<int32_t>(domain_name.size()));
  record.set_parent_uid(Bytes(parent_uid));
  record.set_config_string(Bytes(Join(config)));
  return record;
}

namespace {

// A received message, read up to its body.
std::unique_ptr<CMsgSerializer> LoadMessage(const DbRequest& request) {
  auto message = std::make_unique<CMsgSerializer>(nullptr);
  message->Load(request.bytes.data(), static_cast<uint32_t>(request.bytes.size()));
  return message;
}

}  // namespace

void FakeDatabaseService::Start() {
  peer_ = std::make_unique<DbScriptedPeer>([this](const DbRequest& r) { return Answer(r); },
                                           keep_requests);
  ASSERT_TRUE(peer_->listening());
}

void FakeDatabaseService::Stop() {
  if (peer_) peer_->Stop();
}

const std::vector<DbRequest>& FakeDatabaseService::requests() const { return peer_->requests(); }

std::vector<DbRequest> FakeDatabaseService::RequestsFor(std::u16string_view command) const {
  return peer_->RequestsFor(command);
}

DbAnswer FakeDatabaseService::Answer(const DbRequest& request) {
  ++received[request.command];
  if (request.command == kDbFindDomainUid) {
    const bool found = request.tokens.size() > 2 && existing.count(request.tokens[2]) != 0;
    return DbScriptedPeer::TextReply(found ? u"0a0a0a0a-0000-4000-8000-000000000001" : u"");
  }
  if (request.command == kDbv2ClientOnStart) {
    if (on_start_fails) return std::string();
    tagCln_CgiOnStart record;
    LoadMessage(request)->ReadObject(record);
    if (on_start_status != kDbClientOnStartRefused) existing.insert(record.GetEntryName());
    return DbScriptedPeer::StatusReply(kDbv2ClientOnStart, on_start_status);
  }
  if (request.command == kDbv2SetDlpCfg) {
    if (dlp_fails) return std::string();
    return DbScriptedPeer::StatusReply(kDbv2SetDlpCfg, 0);
  }
  return std::nullopt;
}

std::string CreationBody(const DbRequest& request) {
  std::string body(tagCln_CgiOnStart::kSize, '\0');
  uint32_t size = tagCln_CgiOnStart::kSize;
  EXPECT_TRUE(LoadMessage(request)->ReadBlock(body.data(), size));
  return body;
}

DlpRequest ReadDlpRequest(const DbRequest& request) {
  DlpRequest dlp;
  const std::unique_ptr<CMsgSerializer> message = LoadMessage(request);
  *message >> dlp.uids >> dlp.value;
  message->ReadObject(dlp.dc);
  message->ReadObject(dlp.clc);
  return dlp;
}

ImportRequest ReadImportRequest(const DbRequest& request) {
  ImportRequest parts;
  const std::u16string_view text = request.text;
  const size_t first = text.find(u'\t');
  const size_t second = text.find(u'\t', first + 1);
  const size_t third = text.find(u'\t', second + 1);
  EXPECT_NE(third, std::u16string_view::npos);
  if (third == std::u16string_view::npos) return parts;
  parts.uid = text.substr(first + 1, second - first - 1);
  parts.number = text.substr(second + 1, third - second - 1);
  parts.config = Split(text.substr(third + 1));
  return parts;
}

ImportTest::ImportTest() {
  dir_.MakeFolder("server/Admin");
  dir_.MakeFolder("server/private");
  dir_.MakeFolder("cwd");
  platform::GetCurrentFolder(&previous_folder_);
  platform::SetCurrentFolder(dir_.Wide("cwd"));
  importer_ = std::make_unique<CImportSkvaSettings>(install_path());
}

ImportTest::~ImportTest() { platform::SetCurrentFolder(previous_folder_); }

std::string ImportTest::ServerFile(std::string_view relative) const {
  std::string bytes;
  platform::ReadFile(dir_.Wide("server/" + std::string(relative)), &bytes);
  return bytes;
}

void ImportTest::CopyStandIn(const std::string& name, std::string_view relative) const {
  std::string bytes;
  ASSERT_TRUE(
      platform::ReadFile(platform::Utf8ToUtf16(testing_support::ProgramInBinFolder(name)), &bytes)
          .ok())
      << name;
  dir_.Write(relative, bytes);
}

bool ImportTest::ServerFileExists(std::string_view relative) const {
  return platform::PathExists(dir_.Wide("server/" + std::string(relative)));
}

std::vector<std::u16string> ImportTest::Messages() const {
  std::vector<std::u16string> texts;
  for (const auto& message : ui_.messages()) texts.push_back(message.text);
  return texts;
}

}  // namespace import_testing
