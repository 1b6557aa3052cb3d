// UTF-8 files: told apart when they come in, converted into the build's set
// only when nothing is lost, and written back byte for byte.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "blocks/insertfile.h"
#include "base/state.h"
#include "edit/search.h"
#include "screen/glyphs.h"
#include "support/driver.h"
#include "support/fixture.h"
#include "support/scratch.h"
#include "text/codepage.h"
#include "text/linestore.h"
#include "text/loadsave.h"
#include "text/savefile.h"

namespace {

const BuildConfig* const kBuilds[] = {&BuildKoi8, &Build866, &Build866Rkbd, &BuildKoi8Rkbd};

const std::string kBom = "\xEF\xBB\xBF";

std::string Prose() {
  return "Съешь же ещё этих мягких французских булок, да выпей чаю.\n"
         "ЁЖИК В ТУМАНЕ: (1975) - мультфильм; Юрий Норштейн!\n"
         "\n"
         "  plain ASCII line with tabs\tand \"quotes\"\n"
         "Широкая электрификация южных губерний даст мощный толчок подъёму хозяйства.\n";
}

std::string Box() { return "┌──────┐\n│ Окно │\n╞══════╡\n╚══════╝ ░▒▓█\n"; }

// 140 Cyrillic letters and 20 blanks: 300 bytes of UTF-8, 160 bytes converted.
std::string LongLine() {
  std::string s;
  for (int i = 0; i < 20; ++i) s += " абвгдеж";
  return s + "\n";
}

// A generated text of many lines, long enough that reads end inside
// sequences.
std::string Generated() {
  std::string s;
  const char* words[] = {"дом", "Ёлка", "ночь", "улица", "фонарь", "аптека", "СЛОВО", "x", "юг", "щи"};
  for (int n = 0; n < 3000; ++n) {
    std::string line = std::to_string(n) + " ";
    for (int k = 0; k < 1 + n % 13; ++k) line += std::string(words[(n * 7 + k) % 10]) + " ";
    line += "конец";
    s += line + "\n";
  }
  return s;
}

std::string CrLf(const std::string& s) {
  std::string out;
  for (char c : s) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

// Line n of the text as UTF-8, without trailing blanks.
std::string Shown(int n) {
  std::string s(LineBytes(n));
  s.resize(TrimmedLength(s));
  return FromSet(CurrentBuild().Set, s);
}

std::string FirstLine(const std::string& s) { return s.substr(0, s.find('\n')); }

// The first n characters of UTF-8 text.
std::string Chars(const std::string& s, size_t n) {
  size_t i = 0;
  while (n-- > 0 && DecodeUtf8(s, i) >= 0) {
  }
  return s.substr(0, i);
}

RunOptions Opening(const BuildConfig& b, const std::string& bytes, const std::string& keys = "") {
  RunOptions o;
  o.Build = &b;
  o.Raw = true;
  o.Text = bytes;
  o.Keys = keys;
  return o;
}

}  // namespace

// Texts the build's set holds whole: converted without a question, shown
// as the right letters, and written back as the same bytes.
TEST(Utf8Files, ConvertibleTextsRoundTripByteForByteInEveryBuild) {
  struct Case {
    const char* Name;
    std::string File;      // on disk
    std::string Expected;  // written back
  } cases[] = {
      {"prose", Prose(), Prose()},
      {"prose with a byte-order mark", kBom + Prose(), kBom + Prose()},
      {"CR LF line ends come back as LF", CrLf(Prose()), Prose()},
      {"box drawing", Box(), Box()},
      {"a 300-byte line of 160 characters", LongLine() + Prose(), LongLine() + Prose()},
      {"a generated text", Generated(), Generated()},
      {"a byte-order mark alone", kBom + "abc\n", kBom + "abc\n"},
  };
  for (const BuildConfig* b : kBuilds) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(b->Name) + ": " + c.Name);
      RunResult r = Drive(Opening(*b, c.File));
      EXPECT_EQ(r.Row(2).find("Строка"), std::string::npos) << r.Row(2);
      EXPECT_EQ(r.Row(1).find("recode"), std::string::npos) << r.Row(1);
      EXPECT_TRUE(CodePage.DiskUtf8);
      EXPECT_FALSE(DiskIs(Charset::Cp866) || DiskIs(Charset::Koi8) || DiskIs(Charset::Cp1251));
      std::string first = FirstLine(c.Expected);
      if (first.rfind(kBom, 0) == 0) first = first.substr(kBom.size());
      EXPECT_EQ(Shown(1), first);
      EXPECT_EQ(Chars(r.Row(3), 60), Chars(first + std::string(80, ' '), 60));
      Txt.Modified = true;
      SaveFile();
      EXPECT_FALSE(Txt.Modified);
      EXPECT_EQ(r.FileContent(), c.Expected);
    }
  }
  SelectBuild(BuildKoi8Rkbd);
}

// The bundled texts, in UTF-8: converted where the set holds them, left as
// they are where not, and saved back byte for byte either way.
TEST(Utf8Files, RealTextsRoundTripInEveryBuild) {
  for (const char* name : {"primer.txt", "veskinfo.hlp"}) {
    std::ifstream f(std::string(VESK_SOURCE_DIR) + "/data/" + name, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    const std::string text = FromSet(Charset::Koi8, ss.str());
    ASSERT_GT(text.size(), 500u);
    for (const BuildConfig* b : kBuilds) {
      SCOPED_TRACE(std::string(b->Name) + ": " + name);
      SelectBuild(*b);
      const bool whole = DetectUtf8(text).Form == Utf8Verdict::Convertible;
      RunResult r = Drive(Opening(*b, text));
      EXPECT_EQ(CodePage.DiskUtf8, whole);
      Txt.Modified = true;
      SaveFile();
      EXPECT_EQ(r.FileContent(), text);
    }
  }
  SelectBuild(BuildKoi8Rkbd);
}

// Typed letters go into the build's set and out as UTF-8.
TEST(Utf8Files, TypedCyrillicIsSavedAsUtf8) {
  for (const BuildConfig* b : kBuilds) {
    SCOPED_TRACE(b->Name);
    RunResult r = Drive(Opening(*b, kBom + "мир\nвторая\n", "Ёж, <F2>"));
    EXPECT_EQ(r.FileContent(), kBom + "Ёж, мир\nвторая\n");
  }
  SelectBuild(BuildKoi8Rkbd);
}

// A character the set lacks keeps the whole file as it is, says where, and
// never asks the 866/1251 question; editing another line and saving leaves
// the other lines' bytes alone.  The characters «»—№ are in 866 (№ only)
// and in neither of the sets otherwise.
TEST(Utf8Files, CharactersTheSetLacksLeaveTheFileUnconverted) {
  struct Case {
    const BuildConfig* Build;
    std::string Third;  // the line with the character
  } cases[] = {
      {&BuildKoi8, "Китайский: 中文"},          {&Build866, "Эмодзи: 🙂 улыбка"},
      {&Build866Rkbd, "Голландское ĳ"},         {&BuildKoi8Rkbd, "«Ёлки» — ели"},
      {&BuildKoi8, "Номер № 5 (нет в KOI8-R)"}, {&Build866, "Кавычки «ёлочки»"},
      {&BuildKoi8, "Стрелка → и ∞"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.Build->Name) + ": " + c.Third);
    const std::string file = Prose().substr(0, Prose().find('\n') + 1) + "вторая строка\n" + c.Third + "\nконец\n";
    RunResult r = Drive(Opening(*c.Build, file));
    EXPECT_EQ(r.Row(2).rfind("Строка 3: символ, которого нет в кодировке; файл показан без перекодировки", 0), 0u)
        << r.Row(2);
    EXPECT_FALSE(CodePage.DiskUtf8);
    EXPECT_EQ(std::string(LineBytes(3)).substr(0, c.Third.size()), c.Third);  // the bytes as they were

    // x typed into line 4 (the message's key is taken as typed too).
    r = Drive(Opening(*c.Build, file, "<Down><Down><Down>x<F2>"));
    EXPECT_EQ(r.FileContent(), file.substr(0, file.rfind("конец")) + "xконец\n");
  }
  SelectBuild(BuildKoi8Rkbd);
}

// The long-line rule applies to the converted line; a UTF-8 line that is
// still longer than 255 bytes converted keeps its first 255 characters.
TEST(Utf8Files, LongLinesAreCutAfterConversion) {
  std::string longer;
  for (int i = 0; i < 300; ++i) longer += "ж";
  RunResult r = Drive(Opening(BuildKoi8, LongLine() + longer + "\nпосле\n"));
  EXPECT_EQ(r.Row(2).rfind("Строк длиннее 255 байт, обрезано: 1", 0), 0u) << r.Row(2);
  EXPECT_TRUE(CodePage.DiskUtf8);
  EXPECT_EQ(Txt.LineCount, 3);
  EXPECT_EQ(Shown(1), LongLine().substr(0, LongLine().size() - 1));
  EXPECT_EQ(Shown(2), longer.substr(0, 255 * 2));
  EXPECT_EQ(Shown(3), "после");
  SelectBuild(BuildKoi8Rkbd);
}

// What is not taken for UTF-8: plain ASCII, the build's own set, bytes that
// are not UTF-8 (the 866/1251 check runs), -P.  A byte-order mark before
// bytes that are not UTF-8 keeps the file as it is and says so.
TEST(Utf8Files, OnlyValidUtf8WithMultiByteSequencesIsTaken) {
  struct Case {
    const char* Name;
    const BuildConfig* Build;
    std::string File;
    std::vector<std::string> Switches;
    std::string Row1, Row2;  // what rows 1 and 2 begin with ("" for anything)
  } cases[] = {
      {"ASCII", &BuildKoi8, "plain\n", {"-w"}, "", ""},
      {"KOI8-R in vesk-koi8", &BuildKoi8, ToSet(Charset::Koi8, Prose()), {"-w"}, "", ""},
      {"KOI8-R in vesk-866 asks", &Build866, ToSet(Charset::Koi8, Prose()), {"-w"}, " X = ", ""},
      {"-P", &BuildKoi8, Prose(), {"-w", "-P"}, "", ""},
      {"byte-order mark, then KOI8-R", &BuildKoi8, kBom + "ok\n" + ToSet(Charset::Koi8, Prose()), {"-w"}, "",
       "Строка 2: неверная последовательность UTF-8; файл показан без перекодировки"},
      {"cut at the end of the file", &Build866, "мир\n\xD0", {"-w"}, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    RunOptions o = Opening(*c.Build, c.File);
    o.Switches = c.Switches;
    RunResult r = Drive(o);
    EXPECT_FALSE(CodePage.DiskUtf8);
    if (!c.Row1.empty()) EXPECT_EQ(r.Row(1).rfind(c.Row1, 0), 0u) << r.Row(1);
    else EXPECT_EQ(r.Row(1).find("recode"), std::string::npos) << r.Row(1);
    if (!c.Row2.empty()) EXPECT_EQ(r.Row(2).rfind(c.Row2, 0), 0u) << r.Row(2);
    else EXPECT_EQ(r.Row(2).find("Строка"), std::string::npos) << r.Row(2);
    if (c.Row1.empty()) {
      // Unconverted bytes go back as they came.
      Txt.Modified = true;
      SaveFile();
      std::string want = c.File;
      if (want.back() != '\n') want += '\n';
      EXPECT_EQ(r.FileContent(), want);
    }
  }
  SelectBuild(BuildKoi8Rkbd);
}

// The detector and the converter see a file in pieces of any size.
TEST(Utf8Files, PiecesOfAnySizeGiveTheSameResult) {
  SelectBuild(Build866);
  const std::string text = kBom + Generated() + "ĳ\n";
  const Utf8Verdict whole = DetectUtf8(text);
  EXPECT_EQ(whole.Form, Utf8Verdict::Foreign);
  EXPECT_EQ(whole.Line, 3001);
  EXPECT_TRUE(whole.Bom);
  for (size_t piece : {1, 2, 3, 5, 64}) {
    Utf8Detector d;
    for (size_t i = 0; i < text.size(); i += piece) d.Feed(std::string_view(text).substr(i, piece));
    const Utf8Verdict v = d.Finish();
    EXPECT_EQ(v.Form, whole.Form) << piece;
    EXPECT_EQ(v.Line, whole.Line) << piece;
    EXPECT_EQ(v.Bom, whole.Bom) << piece;

    std::string out, rest;
    std::vector<char> buf(piece + 4);
    bool atStart = true;
    for (size_t i = 0; i <= text.size(); i += piece) {
      rest += text.substr(i, piece);
      const bool last = i + piece >= text.size();
      size_t used = 0;
      const size_t n = DecodeUtf8Chunk(rest.data(), rest.size(), buf.data(), used, atStart, last);
      if (used > 0) atStart = false;
      out.append(buf.data(), n);
      rest.erase(0, used);
      if (last) break;
    }
    EXPECT_EQ(out, Utf8ToInternal(text, true)) << piece;
  }
  const std::string converted = ToSet(Charset::Cp866, Generated());
  EXPECT_EQ(Utf8ToInternal(text, true), converted + "ĳ\n");
  // CR LF across lines counts once.
  EXPECT_EQ(DetectUtf8("a\r\nb\rc\nd 中").Line, 4);
  SelectBuild(BuildKoi8Rkbd);
}

class Utf8Coming : public EditorTest {
 protected:
  Utf8Coming() : EditorTest(BuildKoi8) {}
  void SetUp() override {
    Dir = std::filesystem::temp_directory_path() / ("vesk-utf8-" + std::to_string(getpid()));
    std::filesystem::create_directories(Dir);
    ASSERT_TRUE(InitLineStore());
    ResetCodePageState();
  }
  void TearDown() override { std::filesystem::remove_all(Dir); }
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = (Dir / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  void Text(const std::vector<std::string>& lines) {
    for (const std::string& l : lines) ASSERT_TRUE(AppendLine(l, Txt.LineWidth));
  }
  std::string Row(int r) {
    std::string s;
    for (int c = 1; c <= Scr.ScreenWidth; ++c) s += char(CellChar(CellAt(c, r)));
    return FromSet(Charset::Koi8, s);
  }
  // Keys of the build: a digit answer.
  void Answer(char digit) { Keys({uint32_t(0x0200 + (digit - '1') * 0x100 + digit)}); }
  std::filesystem::path Dir;
};

// A taken file goes through the same check; the text keeps its disk form.
TEST_F(Utf8Coming, TakenFilesAreConvertedOrLeftAsTheyAre) {
  Text({ToSet(Charset::Koi8, "первая"), ToSet(Charset::Koi8, "вторая")});
  Ed.CurLine = 1;
  const std::string path = Write("in.txt", kBom + "ёж\r\nёлка\n");
  int fd = open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  const Utf8Verdict v = DetectUtf8File(fd);
  EXPECT_EQ(v.Form, Utf8Verdict::Convertible);
  int cut = 0;
  bool readError = false;
  EXPECT_EQ(InsertLinesFrom(fd, 1, cut, readError, true), 3);
  close(fd);
  EXPECT_EQ(Shown(2), "ёж");
  EXPECT_EQ(Shown(3), "ёлка");
  EXPECT_EQ(Shown(4), "вторая");
  EXPECT_TRUE(DiskIs(Charset::Koi8));
  EXPECT_FALSE(CodePage.DiskUtf8);
}

TEST(Utf8Taking, TakeFileConvertsOrSaysWhyNot) {
  ScratchDir here;
  std::ofstream("in.txt", std::ios::binary) << kBom << "ёж\r\nещё\n";
  std::ofstream("foreign.txt", std::ios::binary) << "ёж\nещё 中\n";
  std::ofstream("long.txt", std::ios::binary) << LongLine();
  const std::string text = ToSet(Charset::Koi8, "один\nдва\n");
  // 300 bytes of UTF-8 are a line of 160: taken whole, nothing said.
  RunResult r0 = Drive(Opening(BuildKoi8, text, "<S-F1>long.txt\n"));
  EXPECT_EQ(r0.Lines.at(1), ToSet(Charset::Koi8, LongLine().substr(0, LongLine().size() - 1)));
  EXPECT_EQ(r0.Row(2).find("Строк"), std::string::npos) << r0.Row(2);
  RunResult r = Drive(Opening(BuildKoi8, text, "<S-F1>in.txt\n<F2>"));
  EXPECT_EQ(r.Lines, (std::vector<std::string>{ToSet(Charset::Koi8, "один"), ToSet(Charset::Koi8, "ёж"),
                                                ToSet(Charset::Koi8, "ещё"), ToSet(Charset::Koi8, "два")}));
  EXPECT_EQ(r.FileContent(), ToSet(Charset::Koi8, "один\nёж\nещё\nдва\n"));  // the text keeps its form

  r = Drive(Opening(BuildKoi8, text, "<S-F1>foreign.txt\n"));
  EXPECT_EQ(r.Row(2).rfind("Строка 2: символ, которого нет в кодировке; файл вставлен без перекодировки", 0), 0u)
      << r.Row(2);
  EXPECT_EQ(r.Lines.at(2), "ещё 中");
  SelectBuild(BuildKoi8Rkbd);
}

// The pair file of replace-from-file is UTF-8 like any file.
TEST_F(Utf8Coming, PairFilesInUtf8Replace) {
  Text({ToSet(Charset::Koi8, "кот и пёс"), ToSet(Charset::Koi8, "кот")});
  const std::string pairs = Write("pairs.txt", kBom + "кот\r\nкошка\nпёс\nсобака\n");
  Search.PairFileName = pairs;
  Keys({0x1C0D, 0x0332, 0x0231});  // Enter on the offered name; no confirmation; ignore case
  ReplaceFromFile(false);
  EXPECT_EQ(Shown(1), "кошка и собака");
  EXPECT_EQ(Shown(2), "кошка");
}

TEST_F(Utf8Coming, PairFilesWithCharactersTheSetLacksAreTakenAsTheyAre) {
  Text({ToSet(Charset::Koi8, "кот")});
  const std::string pairs = Write("pairs.txt", "кот\nкот 中\n");
  Search.PairFileName = pairs;
  Keys({0x1C0D});  // Enter on the offered name; then the message waits
  EXPECT_THROW(ReplaceFromFile(false), InputLost);
  EXPECT_NE(Row(2).find("Строка 2: символ, которого нет в кодировке; файл замен взят без перекодировки"),
            std::string::npos);
}

// The recode command: from UTF-8 (a text loaded with -P) and back.
TEST_F(Utf8Coming, RecodeCommandFromAndToUtf8) {
  const std::string first = kBom + "Привет, ёж";
  Text({first, "второй"});  // loaded with -P: the bytes as they are
  Txt.Modified = false;
  Answer('4');  // 4 - UTF-8
  RecodeCommand();
  EXPECT_EQ(Shown(1), "Привет, ёж");
  EXPECT_TRUE(CodePage.DiskUtf8);
  EXPECT_EQ(CodePage.Utf8Bom, 1);
  EXPECT_FALSE(DiskIs(Charset::Koi8));
  EXPECT_EQ(TextForSave(), first + "\nвторой\n");

  // Back: the text becomes the UTF-8 bytes, written as they are.
  Answer('1');  // 1 - koi8-r, the one set offered
  RecodeCommand();
  EXPECT_EQ(std::string(LineBytes(1)).substr(0, first.size()), first);
  EXPECT_FALSE(CodePage.DiskUtf8);
  EXPECT_TRUE(DiskIs(Charset::Koi8));
  EXPECT_EQ(TextForSave(), first + "\nвторой\n");
}

TEST_F(Utf8Coming, RecodeCommandRefusesToLoseAnything) {
  Text({"ёж", "中"});
  Answer('4');
  EXPECT_THROW(RecodeCommand(), InputLost);  // waits at the message
  EXPECT_NE(Row(2).find("Строка 2: символ, которого нет в кодировке; текст не перекодирован"),
            std::string::npos);
  EXPECT_EQ(std::string(LineBytes(1)).substr(0, 4), "ёж");
  EXPECT_TRUE(DiskIs(Charset::Koi8));

  // 200 letters are 400 bytes of UTF-8: not turned into UTF-8 bytes.
  ResetLineStore();
  ASSERT_TRUE(InitLineStore());
  Text({"a", std::string(200, char(0xC1))});
  CodePage.DiskUtf8 = true;
  Answer('1');
  EXPECT_THROW(RecodeCommand(), InputLost);
  EXPECT_NE(Row(2).find("Строка 2: длиннее 255 байт в UTF-8; текст не перекодирован"), std::string::npos);
  EXPECT_EQ(StoredLength(2), 254);
  EXPECT_EQ(LineBytes(2)[0], char(0xC1));
  EXPECT_TRUE(CodePage.DiskUtf8);
}
