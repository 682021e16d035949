#include "engine/profile_text.h"

#include <map>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace vostrel {
namespace {

std::string Edit(const std::string& content, const std::string& section, const std::string& key,
                 const std::string& value) {
  return EditProfile(content, true, section, key, value);
}

// The bytes of a UTF-16 LE file with its byte-order mark.
std::string Utf16File(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

std::u16string Widen(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

// --- The edit itself ---------------------------------------------------------

TEST(ProfileEdit, ReplacesValueInPlaceKeepingTheLinesOwnSpacing) {
  EXPECT_EQ("[PRODUCT]\r\n  Key  =  N\r\nNext=Y\r\n",
            Edit("[PRODUCT]\r\n  Key  =  Y\r\nNext=Y\r\n", "PRODUCT", "Key", "N"));
  // The whole rest of the line is the old value, whatever it holds.
  EXPECT_EQ("[S]\nKey=\tN\n", Edit("[S]\nKey=\tY ; was yes\n", "S", "Key", "N"));
  EXPECT_EQ("[S]\nKey=N\n", Edit("[S]\nKey=\n", "S", "Key", "N"));
  // A bare key without '=' gets one.
  EXPECT_EQ("[S]\nKey =N\n", Edit("[S]\nKey \n", "S", "Key", "N"));
}

TEST(ProfileEdit, MatchesSectionAndKeyWithoutRegardToCaseOrSurroundingSpaces) {
  const std::string file = "  [ product ]  \r\nkrt = Y\r\n";
  EXPECT_EQ("  [ product ]  \r\nkrt = N\r\n", Edit(file, "PRODUCT", "KRT", "N"));
  EXPECT_EQ("  [ product ]  \r\nkrt = N\r\n", Edit(file, " Product ", "  Krt ", "N"));
  // Letters beyond ASCII fold too, as the Win32 calls fold them; the file
  // keeps its own spelling.
  EXPECT_EQ("[\xC3\xA9]\r\nK=N\r\n", Edit("[\xC3\xA9]\r\nK=Y\r\n", "\xC3\x89", "K", "N"));
}

TEST(ProfileEdit, OnlyTheFirstMatchingSectionAndKeyCount) {
  EXPECT_EQ("[S]\nA=1\nA=old\n[s]\nA=old\n",
            Edit("[S]\nA=old\nA=old\n[s]\nA=old\n", "S", "a", "1"));
  // Keys ahead of any section, in other sections or in comments never match.
  EXPECT_EQ("A=old\n[T]\nA=old\n[S]\nA=1\n;A=old\n#A=old\n",
            Edit("A=old\n[T]\nA=old\n[S]\n;A=old\n#A=old\n", "S", "A", "1"));
}

TEST(ProfileEdit, AddsAMissingKeyAfterTheSectionsLastEntry) {
  const std::string medium =
      "; medium\r\n[PRODUCT]\r\nVokDevelopment=Y\r\n; about KRT\r\n\r\n[SELECTED]\r\nFramory=Y\r\n";
  EXPECT_EQ(
      "; medium\r\n[PRODUCT]\r\nVokDevelopment=Y\r\nKRT=N\r\n; about KRT\r\n\r\n[SELECTED]\r\n"
      "Framory=Y\r\n",
      Edit(medium, "PRODUCT", "KRT", "N"));
  // A section without entries takes it right after its header.
  EXPECT_EQ("[PRODUCT]\nKRT=N\n\n[X]\n", Edit("[PRODUCT]\n\n[X]\n", "PRODUCT", " KRT", "N"));
  // The header is the file's last line and has no line ending.
  EXPECT_EQ("[PRODUCT]\r\nKRT=N\r\n", Edit("[PRODUCT]", "PRODUCT", "KRT", "N"));
  EXPECT_EQ("[P]\nA=1\nKRT=N\n", Edit("[P]\nA=1", "P", "KRT", "N"));
}

TEST(ProfileEdit, AppendsAMissingSectionAtTheEnd) {
  EXPECT_EQ("[PRODUCT]\r\nA=Y\r\n\r\n[SELECTED]\r\nFramory=N\r\n",
            Edit("[PRODUCT]\r\nA=Y\r\n\r\n", "SELECTED", "Framory", "N"));
  // No final line ending: one comes first.
  EXPECT_EQ("[PRODUCT]\nA=Y\n[SELECTED]\nFramory=N\n",
            Edit("[PRODUCT]\nA=Y", "SELECTED", "Framory", "N"));
  EXPECT_EQ("[SELECTED]\r\nFramory=N\r\n", Edit("", " SELECTED ", "Framory", "N"));
  // A line that opens with '[' but never closes is not a header.
  EXPECT_EQ("[SELECTED\n[SELECTED]\nK=N\n", Edit("[SELECTED\n", "SELECTED", "K", "N"));
}

TEST(ProfileEdit, CreatesANewFileHoldingJustTheEntry) {
  EXPECT_EQ("[PRODUCT]\r\nVokDevelopment=N\r\n",
            EditProfile("ignored", false, "PRODUCT", "VokDevelopment", "N"));
}

TEST(ProfileEdit, WritingAKeyTwiceLeavesOneLineWithTheLastValue) {
  std::string file = "[PRODUCT]\r\nA=Y\r\n";
  file = Edit(file, "PRODUCT", "QuenzoRuntime", "N");
  file = Edit(file, "product", "quenzoruntime", "Y");
  EXPECT_EQ("[PRODUCT]\r\nA=Y\r\nQuenzoRuntime=Y\r\n", file);
  file = Edit(file, "SELECTED", "QuenzoRuntime", "N");
  file = Edit(file, "SELECTED", "QuenzoRuntime", "Y");
  EXPECT_EQ("[PRODUCT]\r\nA=Y\r\nQuenzoRuntime=Y\r\n[SELECTED]\r\nQuenzoRuntime=Y\r\n", file);
}

TEST(ProfileEdit, AddedLinesTakeTheFilesOwnLineEnding) {
  EXPECT_EQ("[A]\nx=1\r\n[B]\nK=V\n", Edit("[A]\nx=1\r\n", "B", "K", "V"));
  EXPECT_EQ("[A]\r\nx=1\n[B]\r\nK=V\r\n", Edit("[A]\r\nx=1\n", "B", "K", "V"));
  EXPECT_EQ("[A]\rx=1\rK=V\r", Edit("[A]\rx=1\r", "A", "K", "V"));
  EXPECT_EQ("; note\r\n[B]\r\nK=V\r\n", Edit("; note", "B", "K", "V"));
  // Lone CR, LF and CRLF all end lines, in one file.
  EXPECT_EQ("[A]\rx=1\n[B]\r\ny=9\r", Edit("[A]\rx=1\n[B]\r\ny=2\r", "b", "Y", "9"));
  EXPECT_EQ("[A]\rx=1\r[B]\r\ny=2\rK=V\r", Edit("[A]\rx=1\r[B]\r\ny=2\r", "B", "K", "V"));
  // A CR-ended line put before a blank LF line must not join it into one CRLF.
  EXPECT_EQ("[A]\rx=1\r\nK=V\r\n\n[B]\r", Edit("[A]\rx=1\r\n\n[B]\r", "A", "K", "V"));
}

TEST(ProfileEdit, KeepsAUtf8ByteOrderMark) {
  const std::string bom = "\xEF\xBB\xBF";
  EXPECT_EQ(bom + "[PRODUCT]\nKRT=N\n", Edit(bom + "[PRODUCT]\nKRT=Y\n", "PRODUCT", "KRT", "N"));
  EXPECT_EQ(bom + "[S]\r\nK=V\r\n", Edit(bom, "S", "K", "V"));
}

TEST(ProfileEdit, EditsUtf16FilesAsUtf16) {
  EXPECT_EQ(Utf16File(u"[PRODUCT]\r\nKRT=N\r\nA=1\r\n"),
            Edit(Utf16File(u"[PRODUCT]\r\nKRT=Y\r\nA=1\r\n"), "product", "krt", "N"));
  EXPECT_EQ(Utf16File(u"[P]\nA=1\n[S\u00c9]\nK\u00e9=\u20ac\n"),
            Edit(Utf16File(u"[P]\nA=1\n"), "S\xC3\x89", "K\xC3\xA9", "\xE2\x82\xAC"));
  EXPECT_EQ(Utf16File(u"[S]\r\nK=V\r\n"), Edit("\xFF\xFE", "S", "K", "V"));

  // Unpaired surrogates anywhere, even in the line being edited, survive.
  std::u16string before = u"[P]\r\n;\xD800 lone\r\nK=\xDC00\r\nX\xDFFF=1\r\n";
  std::u16string after = u"[P]\r\n;\xD800 lone\r\nK=Y\r\nX\xDFFF=1\r\n";
  EXPECT_EQ(Utf16File(after), Edit(Utf16File(before), "P", "K", "Y"));
  // A surrogate pair written as a value goes in as a pair.
  EXPECT_EQ(Utf16File(u"[P]\r\nK=\U0001F600\r\n"),
            Edit(Utf16File(u"[P]\r\nK=1\r\n"), "P", "K", "\xF0\x9F\x98\x80"));
  // An odd trailing byte is no code unit; it stays last.
  EXPECT_EQ(Utf16File(u"[P]\r\nK=1\r\n[S]\r\nK=2\r\n") + "\x41",
            Edit(Utf16File(u"[P]\r\nK=1\r\n") + "\x41", "S", "K", "2"));
}

TEST(ProfileEdit, RefusesEntriesThatWouldChangeTheFilesStructure) {
  const std::string file = "[S]\nK=1\n";
  for (const auto& [section, key, value] :
       std::vector<std::tuple<std::string, std::string, std::string>>{
           {"S", "K", "2\n[T]\nX=1"},
           {"S\r", "K", "2"},
           {"S", "K=1", "2"},
           {"S", "; K", "2"},
           {"S", "#K", "2"},
           {"S", "[T]", "2"},
           {"S", "  ", "2"},
           {"S", std::string("K\0", 2), "2"}}) {
    EXPECT_FALSE(IsWritableProfileEntry(section, key, value)) << key << "=" << value;
    EXPECT_EQ(file, Edit(file, section, key, value)) << key << "=" << value;
  }
  EXPECT_TRUE(IsWritableProfileEntry("A]B", "K", "a = b ; c"));
}

// The seven entries of a runtime step and the pair of the control-package step,
// on a medium whose file lacks "KRT" and the "SELECTED" section.
TEST(ProfileEdit, RuntimeStepOnAMediumFileLackingAKeyAndASection) {
  std::string file =
      "; Setup type\r\n[PRODUCT]\r\nVokDevelopment=Y\r\nQuenzoDevelopment = Y\r\n"
      "QuenzoRuntime=Y\r\nFramory=Y\r\n\r\n[OTHER]\r\nLanguage=en";
  const std::vector<std::vector<std::string>> writes = {{"PRODUCT", "VokDevelopment", "N"},
                                                        {"SELECTED", "VokDevelopment", "N"},
                                                        {"PRODUCT", "QuenzoDevelopment", "N"},
                                                        {"PRODUCT", "QuenzoRuntime", "N"},
                                                        {"SELECTED", "Framory", "N"},
                                                        {"PRODUCT", "Framory", "N"},
                                                        {"PRODUCT", "KRT", "N"},
                                                        {"PRODUCT", "QuenzoRuntime", "Y"},
                                                        {"SELECTED", "QuenzoRuntime", "Y"}};
  for (const auto& write : writes) file = Edit(file, write[0], write[1], write[2]);
  EXPECT_EQ(
      "; Setup type\r\n[PRODUCT]\r\nVokDevelopment=N\r\nQuenzoDevelopment = N\r\n"
      "QuenzoRuntime=Y\r\nFramory=N\r\nKRT=N\r\n\r\n[OTHER]\r\nLanguage=en\r\n"
      "[SELECTED]\r\nVokDevelopment=N\r\nFramory=N\r\nQuenzoRuntime=Y\r\n",
      file);
}

// --- Reading ----------------------------------------------------------------------

// One line a section, one entry a line: what a file holds as its reader sees it.
std::string Describe(const Profile& profile) {
  std::string text;
  for (const ProfileSection& section : profile.sections) {
    text += "[" + section.name + "]";
    for (const ProfileEntry& entry : section.entries) {
      text += " " + entry.key + (entry.hasValue ? "=" + entry.value : "");
    }
    text += "\n";
  }
  return text;
}

TEST(ProfileRead, ReadsTheSameEntriesWhateverTheEncodingAndLineEndings) {
  const std::vector<std::string> lines = {"; Setup type",
                                          "Early=1",
                                          "  [ Product ]  ; the first",
                                          "  KRT =  N  ",
                                          "krt=second",
                                          "Bare ",
                                          "# KRT=hidden",
                                          "",
                                          "[unclosed",
                                          "[SELECTED]",
                                          "Framory=a = b",
                                          "[product]",
                                          "Late=1"};
  const std::string want = "[] Early=1\n[Product] KRT=N Bare [unclosed\n[SELECTED] Framory=a = b\n";
  for (const std::string mark : {"", "\xEF\xBB\xBF", "\xFF\xFE"}) {
    for (const std::string ending : {"\r\n", "\n", "\r"}) {
      std::string text;
      for (const std::string& line : lines) text += line + ending;
      const std::string bytes = mark == "\xFF\xFE" ? Utf16File(Widen(text)) : mark + text;
      EXPECT_EQ(want, Describe(ReadProfile(bytes)))
          << ::testing::PrintToString(mark) << ::testing::PrintToString(ending);
    }
  }
  // Edited as UTF-16, read back as UTF-8.
  const Profile edited = ReadProfile(
      EditProfile(Utf16File(u"[P]\r\nK=1\r\n"), true, "p", "k", "\xE2\x82\xAC \xF0\x9F\x98\x80"));
  ASSERT_NE(nullptr, edited.Find("P"));
  ASSERT_NE(nullptr, edited.Find("P")->Find("K"));
  EXPECT_EQ("\xE2\x82\xAC \xF0\x9F\x98\x80", edited.Find("P")->Find("K")->value);
}

// --- Random writes on random files ---------------------------------------------

struct SplitLine {
  std::string text;
  std::string ending;
};

std::vector<SplitLine> SplitLines(const std::string& content) {
  std::vector<SplitLine> lines;
  size_t pos = 0;
  while (pos < content.size()) {
    SplitLine line;
    while (pos < content.size() && content[pos] != '\r' && content[pos] != '\n') {
      line.text += content[pos++];
    }
    if (pos < content.size()) {
      const bool crlf =
          content[pos] == '\r' && pos + 1 < content.size() && content[pos + 1] == '\n';
      line.ending = crlf ? "\r\n" : std::string(1, content[pos]);
      pos += line.ending.size();
    }
    lines.push_back(line);
  }
  return lines;
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// A header's name, or false for any other line.
bool HeaderName(const std::string& line, std::string& name) {
  const std::string text = Trimmed(line);
  const size_t close = text.rfind(']');
  if (text.empty() || text[0] != '[' || close == std::string::npos || close == 0) return false;
  name = Trimmed(text.substr(1, close - 1));
  return true;
}

// How a reader of the file sees one entry: the first matching section, the
// first matching key in it. False when absent.
bool ReadEntry(const std::string& content, const std::string& section, const std::string& key,
               std::string& value) {
  bool inSection = false;
  const size_t bom = content.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  for (const SplitLine& line : SplitLines(content.substr(bom))) {
    std::string name;
    if (HeaderName(line.text, name)) {
      if (inSection) return false;
      inSection = Upper(name) == Upper(Trimmed(section));
      continue;
    }
    const std::string text = Trimmed(line.text);
    if (!inSection || text.empty() || text[0] == ';' || text[0] == '#') continue;
    const size_t equals = text.find('=');
    if (Upper(Trimmed(text.substr(0, equals))) != Upper(Trimmed(key))) continue;
    value = equals == std::string::npos ? "" : Trimmed(text.substr(equals + 1));
    return true;
  }
  return false;
}

class RandomIni {
 public:
  explicit RandomIni(unsigned seed) : random_(seed) {}

  std::string Pick(const std::vector<std::string>& from) { return from[Below(from.size())]; }
  size_t Below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random_); }

  std::string Spaces() { return Pick({"", "", " ", "  ", "\t", " \t "}); }
  std::string Cased(std::string name) {
    for (char& c : name) {
      const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
      if (letter && Below(3) == 0) c = static_cast<char>(c ^ 0x20);
    }
    return name;
  }
  std::string Section() { return Pick({"PRODUCT", "SELECTED", "Other", "x"}); }
  std::string Key() { return Pick({"VokDevelopment", "KRT", "Framory", "QuenzoRuntime", "a"}); }
  std::string Value() { return Pick({"Y", "N", "", "x y", "1=2", "; not a comment"}); }

  std::string File() {
    std::string file = Below(6) == 0 ? "\xEF\xBB\xBF" : "";
    const size_t lines = Below(14);
    for (size_t i = 0; i < lines; ++i) {
      switch (Below(8)) {
        case 0:
        case 1:
          file += Spaces() + "[" + Spaces() + Cased(Section()) + Spaces() + "]" +
                  Pick({"", "", " ; trailing"});
          break;
        case 2:
        case 3:
        case 4:
          file += Spaces() + Cased(Key()) + Spaces() + "=" + Spaces() + Value();
          break;
        case 5:
          file += Pick({";", "#", " ;"}) + Pick({"", " KRT=Y", "[SELECTED]", " note"});
          break;
        case 6:
          file += Pick({"", " ", "\t"});
          break;
        default:
          file += Pick({"[unclosed", "free text", Cased(Key())});
          break;
      }
      if (i + 1 < lines || Below(4) != 0) file += Pick({"\n", "\r\n", "\r\n", "\r"});
    }
    return file;
  }

 private:
  std::mt19937 random_;
};

// Every line of `before` is found again, in order, in `after`: byte-identical,
// or as a key line of `written` with its value replaced and the text up to
// the value kept. The lines between them are lines a write adds.
void ExpectOtherLinesKept(
    const std::string& before, const std::string& after,
    const std::map<std::pair<std::string, std::string>, std::string>& written) {
  const std::vector<SplitLine> old = SplitLines(before);
  const std::vector<SplitLine> now = SplitLines(after);
  const auto isAdded = [&](const SplitLine& line) {
    std::string name;
    if (HeaderName(line.text, name)) return line.text == "[" + name + "]";
    const size_t equals = line.text.find('=');
    if (equals == std::string::npos) return false;
    for (const auto& [entry, value] : written) {
      if (Upper(line.text.substr(0, equals)) == entry.second &&
          line.text.substr(equals + 1) == value) {
        return true;
      }
    }
    return false;
  };
  const auto isReplaced = [&](const SplitLine& was, const SplitLine& is, bool mayGainEnding) {
    if (was.ending != is.ending && !(mayGainEnding && was.ending.empty())) return false;
    const size_t equals = was.text.find('=');
    const std::string key = Upper(Trimmed(was.text.substr(0, equals)));
    size_t valueBegin = equals == std::string::npos ? was.text.size() : equals + 1;
    while (valueBegin < was.text.size() &&
           (was.text[valueBegin] == ' ' || was.text[valueBegin] == '\t')) {
      ++valueBegin;
    }
    const std::string kept =
        was.text.substr(0, valueBegin) + (equals == std::string::npos ? "=" : "");
    if (is.text.compare(0, kept.size(), kept) != 0) return false;
    for (const auto& [entry, value] : written) {
      if (entry.second == key && is.text.substr(kept.size()) == value) return true;
    }
    return false;
  };
  size_t j = 0;
  for (size_t i = 0; i < old.size(); ++i) {
    const bool last = i + 1 == old.size();
    for (;; ++j) {
      ASSERT_LT(j, now.size()) << "line " << i << " lost: " << old[i].text;
      const bool gainedEnding = last && old[i].ending.empty() && !now[j].ending.empty();
      if (now[j].text == old[i].text && (now[j].ending == old[i].ending || gainedEnding)) break;
      if (isReplaced(old[i], now[j], last)) break;
      ASSERT_TRUE(isAdded(now[j]))
          << "line " << i << " changed: '" << old[i].text << "' became '" << now[j].text
          << "'\nbefore: " << ::testing::PrintToString(before)
          << "\nafter: " << ::testing::PrintToString(after);
    }
    ++j;
  }
  for (; j < now.size(); ++j) EXPECT_TRUE(isAdded(now[j])) << now[j].text;
}

TEST(ProfileEditProperty, RandomWritesReadBackAndKeepEveryOtherLine) {
  for (unsigned seed = 1; seed <= 3000; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    RandomIni random(seed);
    const std::string original = random.File();
    std::string file = original;
    const bool hasBom = file.compare(0, 3, "\xEF\xBB\xBF") == 0;
    std::string wide = Utf16File(Widen(hasBom ? file.substr(3) : file));
    std::map<std::pair<std::string, std::string>, std::string> written;
    const size_t writes = 1 + random.Below(8);
    for (size_t w = 0; w < writes; ++w) {
      const std::string section =
          random.Spaces() + random.Cased(random.Section()) + random.Spaces();
      const std::string key = random.Spaces() + random.Cased(random.Key()) + random.Spaces();
      const std::string value = random.Value();
      file = Edit(file, section, key, value);
      wide = Edit(wide, section, key, value);
      written[{Upper(Trimmed(section)), Upper(Trimmed(key))}] = value;
      // The same edit on the same text as UTF-16 gives the same text.
      ASSERT_EQ(Utf16File(Widen(hasBom ? file.substr(3) : file)), wide);
    }
    ASSERT_EQ(hasBom, file.compare(0, 3, "\xEF\xBB\xBF") == 0);
    for (const auto& [entry, value] : written) {
      std::string read;
      ASSERT_TRUE(ReadEntry(file, entry.first, entry.second, read))
          << entry.first << "/" << entry.second << " in\n"
          << file;
      EXPECT_EQ(value, read) << entry.first << "/" << entry.second << " in\n" << file;
    }
    ExpectOtherLinesKept(original.substr(hasBom ? 3 : 0), file.substr(hasBom ? 3 : 0), written);
    if (HasFailure()) return;
  }
}

}  // namespace
}  // namespace vostrel
