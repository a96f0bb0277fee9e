// The program's compiled resources, read back from this test program (which
// links the same resource object as portelle.exe): dialog template 102 byte
// by byte, the string table against platform/string_table.cpp, and icon 128.
// clang-format off
#include <windows.h>
// clang-format on

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/PortelleDlg.h"
#include "app/win/resource.h"
#include "platform/string_table.h"

namespace {

// The bytes of a resource of this program.
std::vector<uint8_t> ResourceBytes(const wchar_t* type, int id) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
  if (found == nullptr) return {};
  HGLOBAL loaded = LoadResource(module, found);
  const auto* data = static_cast<const uint8_t*>(LockResource(loaded));
  return std::vector<uint8_t>(data, data + SizeofResource(module, found));
}

// Reads a DLGTEMPLATEEX as the dialog manager does.
class TemplateReader {
 public:
  explicit TemplateReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

  uint16_t Word() {
    uint16_t value = 0;
    Take(&value, sizeof(value));
    return value;
  }
  uint32_t DWord() {
    uint32_t value = 0;
    Take(&value, sizeof(value));
    return value;
  }
  int16_t Short() { return static_cast<int16_t>(Word()); }
  uint8_t Byte() {
    uint8_t value = 0;
    Take(&value, sizeof(value));
    return value;
  }
  std::u16string String() {
    std::u16string text;
    for (uint16_t c = Word(); c != 0 && !failed_; c = Word()) text.push_back(c);
    return text;
  }
  // A name or an ordinal: "" for none, "#N" for ordinal N, else the name.
  std::u16string NameOrOrdinal() {
    const uint16_t first = Word();
    if (first == 0) return {};
    if (first == 0xFFFF) {
      std::u16string ordinal = u"#";
      for (char c : std::to_string(Word())) ordinal.push_back(c);
      return ordinal;
    }
    std::u16string text(1, static_cast<char16_t>(first));
    return text + String();
  }
  void AlignToDWord() { pos_ = (pos_ + 3) & ~size_t{3}; }
  void Skip(size_t count) { pos_ += count; }
  bool failed() const { return failed_; }

 private:
  void Take(void* out, size_t size) {
    if (pos_ + size > bytes_.size()) {
      failed_ = true;
      return;
    }
    std::memcpy(out, bytes_.data() + pos_, size);
    pos_ += size;
  }
  const std::vector<uint8_t>& bytes_;
  size_t pos_ = 0;
  bool failed_ = false;
};

struct ControlItem {
  uint32_t style = 0;
  uint32_t ex_style = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  uint32_t id = 0;
  std::u16string window_class;
  std::u16string text;
};

struct DialogTemplate {
  uint16_t version = 0, signature = 0;
  uint32_t style = 0, ex_style = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  std::u16string menu, window_class, caption;
  uint16_t point_size = 0, weight = 0;
  uint8_t italic = 0, charset = 0;
  std::u16string typeface;
  std::vector<ControlItem> controls;
};

DialogTemplate ReadTemplate(const std::vector<uint8_t>& bytes, bool* ok) {
  TemplateReader in(bytes);
  DialogTemplate t;
  t.version = in.Word();
  t.signature = in.Word();
  in.DWord();  // help id
  t.ex_style = in.DWord();
  t.style = in.DWord();
  const uint16_t count = in.Word();
  t.x = in.Short();
  t.y = in.Short();
  t.cx = in.Short();
  t.cy = in.Short();
  t.menu = in.NameOrOrdinal();
  t.window_class = in.NameOrOrdinal();
  t.caption = in.String();
  if ((t.style & DS_SETFONT) != 0) {
    t.point_size = in.Word();
    t.weight = in.Word();
    t.italic = in.Byte();
    t.charset = in.Byte();
    t.typeface = in.String();
  }
  for (uint16_t i = 0; i < count && !in.failed(); ++i) {
    in.AlignToDWord();
    ControlItem c;
    in.DWord();  // help id
    c.ex_style = in.DWord();
    c.style = in.DWord();
    c.x = in.Short();
    c.y = in.Short();
    c.cx = in.Short();
    c.cy = in.Short();
    c.id = in.DWord();
    c.window_class = in.NameOrOrdinal();
    c.text = in.NameOrOrdinal();
    in.Skip(in.Word());  // creation data
    t.controls.push_back(c);
  }
  *ok = !in.failed();
  return t;
}

// The predefined control classes of a template, by their ordinals.
constexpr char16_t kButton[] = u"#128";
constexpr char16_t kEdit[] = u"#129";
constexpr char16_t kStatic[] = u"#130";

TEST(DialogResourceTest, TemplateHoldsTheControlTableInDialogUnits) {
  const std::vector<uint8_t> bytes = ResourceBytes(MAKEINTRESOURCEW(5) /* RT_DIALOG */, 102);
  ASSERT_FALSE(bytes.empty()) << "no dialog template 102 in the program";
  bool ok = false;
  const DialogTemplate t = ReadTemplate(bytes, &ok);
  ASSERT_TRUE(ok) << "the template ends early";
  EXPECT_EQ(t.version, 1);
  EXPECT_EQ(t.signature, 0xFFFF);  // DLGTEMPLATEEX
  EXPECT_EQ(t.caption, u"Korvane Bastionel Portelle");
  EXPECT_EQ(t.x, 0);
  EXPECT_EQ(t.y, 0);
  EXPECT_EQ(t.cx, 315);
  EXPECT_EQ(t.cy, 112);
  EXPECT_EQ(t.point_size, 8);
  EXPECT_EQ(t.typeface, u"MS Shell Dlg");
  EXPECT_EQ(t.menu, u"");
  EXPECT_EQ(t.window_class, u"");
  // A modal frame with a caption, a system menu and a minimise box, in the
  // shell's dialog font.
  for (const uint32_t bit : {static_cast<uint32_t>(DS_SETFONT), static_cast<uint32_t>(DS_FIXEDSYS),
                             static_cast<uint32_t>(DS_MODALFRAME), static_cast<uint32_t>(WS_POPUP),
                             static_cast<uint32_t>(WS_CAPTION), static_cast<uint32_t>(WS_SYSMENU),
                             static_cast<uint32_t>(WS_MINIMIZEBOX)}) {
    EXPECT_EQ(t.style & bit, bit) << std::hex << bit;
  }
  EXPECT_EQ(t.style & WS_MAXIMIZEBOX, 0u);
  EXPECT_EQ(t.style & WS_THICKFRAME, 0u);  // fixed size

  const struct {
    uint32_t id;
    const char16_t* window_class;
    const char16_t* text;
    int x, y, cx, cy;
  } expected[] = {
      {1007, kStatic, u"", 19, 15, 149, 8},
      {1000, kButton, u"&Export", 250, 21, 50, 14},
      {1006, kStatic, u"Export / Import file path:", 19, 29, 138, 12},
      {1003, kEdit, u"", 17, 45, 173, 14},
      {1004, kButton, u"&Browse...", 198, 45, 45, 14},
      {1001, kButton, u"&Import", 250, 45, 50, 14},
      {2, kButton, u"&Close", 250, 68, 50, 14},
  };
  ASSERT_EQ(t.controls.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    const ControlItem& c = t.controls[i];
    SCOPED_TRACE(testing::Message() << "control " << expected[i].id);
    EXPECT_EQ(c.id, expected[i].id);
    EXPECT_EQ(c.window_class, expected[i].window_class);
    EXPECT_EQ(c.text, expected[i].text);
    EXPECT_EQ(c.x, expected[i].x);
    EXPECT_EQ(c.y, expected[i].y);
    EXPECT_EQ(c.cx, expected[i].cx);
    EXPECT_EQ(c.cy, expected[i].cy);
    EXPECT_EQ(c.style & (WS_CHILD | WS_VISIBLE), static_cast<uint32_t>(WS_CHILD | WS_VISIBLE));
    EXPECT_EQ(c.style & WS_DISABLED, 0u);
  }
  // Static texts start at their top left corner; the buttons are plain push
  // buttons (none is the default); the path field is read-only, bordered and
  // scrolls horizontally.
  for (const size_t i : {size_t{0}, size_t{2}}) {
    EXPECT_EQ(t.controls[i].style & SS_TYPEMASK, static_cast<uint32_t>(SS_LEFT));
  }
  for (const size_t i : {size_t{1}, size_t{4}, size_t{5}, size_t{6}}) {
    EXPECT_EQ(t.controls[i].style & BS_TYPEMASK, static_cast<uint32_t>(BS_PUSHBUTTON));
    EXPECT_NE(t.controls[i].style & WS_TABSTOP, 0u);
  }
  const uint32_t edit = t.controls[3].style;
  EXPECT_NE(edit & ES_READONLY, 0u);
  EXPECT_NE(edit & ES_AUTOHSCROLL, 0u);
  EXPECT_NE(edit & WS_BORDER, 0u);
  EXPECT_NE(edit & WS_TABSTOP, 0u);
}

TEST(DialogResourceTest, ControlIdsAreTheDialogLogics) {
  EXPECT_EQ(IDD_PORTELLE_DIALOG, 102);
  EXPECT_EQ(IDR_MAINFRAME, 128);
  EXPECT_EQ(IDC_STATIC_VERSION, kIdcVersion);
  EXPECT_EQ(IDC_BUTTON_EXPORT, kIdcExport);
  EXPECT_EQ(IDC_STATIC_PATH, kIdcPathLabel);
  EXPECT_EQ(IDC_EDIT_PATH, kIdcArchivePath);
  EXPECT_EQ(IDC_BUTTON_SELECT_FOLDER, kIdcBrowse);
  EXPECT_EQ(IDC_BUTTON_IMPORT, kIdcImport);
  EXPECT_EQ(IDCANCEL, kIdcClose);
}

// The string table as LoadStringW reads it.
std::u16string LoadResourceString(int id) {
  const wchar_t* text = nullptr;
  // A buffer size of 0 gives a pointer into the resource itself.
  const int length = LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(id),
                                 reinterpret_cast<wchar_t*>(&text), 0);
  if (length <= 0 || text == nullptr) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(text), static_cast<size_t>(length));
}

TEST(StringResourceTest, HoldsTheServerToolsMessagesAsThePlatformTableHasThem) {
  int found = 0;
  for (int id = 129; id <= 142; ++id) {
    SCOPED_TRACE(testing::Message() << "string " << id);
    EXPECT_EQ(LoadResourceString(id), platform::LoadMessageText(id));
    if (!platform::LoadMessageText(id).empty()) ++found;
  }
  EXPECT_EQ(found, 13);  // every id but 131
  EXPECT_EQ(LoadResourceString(131), u"");
  // Line breaks are single line feeds, as the platform table has them.
  EXPECT_EQ(LoadResourceString(142), u"Tool has executed successfully");
  EXPECT_EQ(LoadResourceString(140),
            u"Unable to continue.\n Unable to determine Bastionel server install folder.");
}

TEST(IconResourceTest, Icon128HoldsEveryDrawnSize) {
  const std::vector<uint8_t> group = ResourceBytes(MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */, 128);
  ASSERT_GE(group.size(), 6u);
  uint16_t count = 0;
  std::memcpy(&count, group.data() + 4, 2);
  ASSERT_EQ(group.size(), 6u + 14u * count);
  std::vector<int> widths;
  for (uint16_t i = 0; i < count; ++i) {
    const uint8_t* entry = group.data() + 6 + 14 * i;
    widths.push_back(entry[0] == 0 ? 256 : entry[0]);
    EXPECT_EQ(entry[0], entry[1]);  // square
    uint16_t bits = 0;
    std::memcpy(&bits, entry + 6, 2);
    EXPECT_EQ(bits, 32);  // with an alpha channel
  }
  EXPECT_EQ(widths, (std::vector<int>{16, 32, 48, 64}));
  for (const int size : {16, 32}) {
    HICON icon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(128), IMAGE_ICON, size, size, 0));
    ASSERT_NE(icon, nullptr) << size;
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bitmap = {};
    GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap);
    EXPECT_EQ(bitmap.bmWidth, size);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
}

}  // namespace
