#include "core/editor.h"

#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "base/limits.h"
#include "blocks/keybuffer.h"
#include "blocks/insertfile.h"
#include "blocks/keydefs.h"
#include "blocks/shorts.h"
#include "core/mainloop.h"
#include "base/safefile.h"
#include "base/state.h"
#include "edit/prompt.h"
#include "edit/search.h"
#include "edit/typing.h"
#include "blocks/blocks.h"
#include "core/commands.h"
#include "screen/cells.h"
#include "screen/glyphs.h"
#include "screen/keys.h"
#include "screen/term.h"
#include "screen/tty.h"
#include "text/codepage.h"
#include "text/heap.h"
#include "text/linestore.h"
#include "text/loadsave.h"
#include "text/messages.h"
#include "text/questions.h"
#include "text/savefile.h"
#include "text/status.h"

Cell DefaultFillCell() { return MakeCell(CurrentBuild().FillChar, 0x07); }

void ResetAllState() {
  ResetLineStore();
  ResetKeyDefs();
  ResetShorts();
  ResetInsertFile();
  ResetKeyBuffer();
  ResetHeap();
  ResetEditorState(DefaultFillCell());
  ResetKeyState();
  Q = QuestionState{};
  ResetPromptState();
  ResetTypingState();
  ResetSearchState();
  ResetBlockState();
  ResetLoopState();
  Load = LoadState{};
  ResetCodePageState();
  // The file-name dialogs of the text floor read names with the prompt line.
  UseNameLine(&PromptName);
}

namespace {
// Set while RunEditor runs the program on the real terminal.
bool OnRealTerminal = false;
}  // namespace

[[noreturn]] void EndProgram(int status) {
  ClearScreenCells();
  if (OnRealTerminal) {
    // The program ends here, as RunEditor would end it after catching the
    // exit: the terminal given back, then the process.  No exception
    // unwinds the stack (the first one thrown costs a static program a
    // sort of every frame description, milliseconds).
    Term->Restore();
    std::fflush(nullptr);
    _exit(status);
  }
  throw ProgramExit{status};
}

namespace {

std::string DirValue(const std::string& s, size_t& pos) {
  size_t end = s.find(' ', pos);
  if (end == std::string::npos) end = s.size();
  std::string v = s.substr(pos, end - pos);
  pos = end;
  return v;
}

// The start screen, drawn on a cleared screen.
void ShowStartScreen() {
  const bool wide = Scr.ScreenWidth > 80;
  const int a = wide ? 19 : 8, b = wide ? 44 : 34, c = wide ? 37 : 27;
  PutStringAt(a, 12, InBuildSet("Редактор текстов на кириллице: КОИ-8, 866 и 1251"), 0x1E);
  PutStringAt(c, 14, InBuildSet(" Справка: F1, клавиши: docs/keys.md "), 0x61);
  PutStringAt(b, 6, "Menu - F10", 0x0C);
  PutStringAt(c + 5, 16, " Press any key. ", 0x0D);
  PutStringAt(11, 20, InBuildSet("Нашли ошибку или чего-то не хватает?"), 0x08);
  PutStringAt(15, 21, InBuildSet("Напишите нам: каждое замечание делает редактор лучше."), 0x08);
  PutStringAt(19, 22, InBuildSet("Спасибо, что пользуетесь им!"), 0x08);
}

long ParseNumber(const std::string& line, bool& ok) {
  const char* p = line.c_str();
  while (*p == ' ' || *p == '\t') ++p;
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(p, &end, 10);
  ok = end != p && errno == 0;
  return v;
}

int16_t ClampLine(long v, int16_t fallback) {
  if (v < 1 || v > Txt.LineCount) return fallback;
  return int16_t(v);
}

}  // namespace

void ScanSwitches(std::string s) {
  size_t pos = 0;
  while ((pos = s.find('-', pos)) != std::string::npos) {
    s[pos] = ' ';
    if (pos + 1 >= s.size()) break;
    const char letter = char(std::toupper(uint8_t(s[pos + 1])));
    size_t next = pos + 2;
    auto digit = [&]() -> uint8_t {
      if (next >= s.size()) return 0;
      return uint8_t(uint8_t(s[next++]) - '0');
    };
    switch (letter) {
      case '+': Ed.CrossHair = false; break;
      case 'C': Ed.CommentColour = digit(); break;
      case 'I': Ed.StatePath = DirValue(s, next) + Ed.BaseName + ".VkIni"; break;
      case 'J': Ed.HalfScroll = false; break;
      case 'K': Ed.LoadKeyBufferAtStart = true; break;
      case 'P': Ed.AskRecodeOnLoad = false; break;
      case 'T': Ed.TabWidth = digit(); break;
      case 'W': Ed.StartScreen = false; break;
      case 'X': {
        std::string dir = DirValue(s, next);
        Ed.ClipboardPath = dir + "VeskClip";
        Ed.SavedStringsPath = dir + "VeskSS";
        break;
      }
      default: break;
    }
    // A directory value is taken whole, so a '-' inside it is not a switch.
    pos = next;
  }
}

// Line 15 of the state file is the message row's fill cell, with this bit
// set when the line-length limit is off.
constexpr uint16_t StateLimitOffBit = 0x0800;

std::string StateFileText() {
  std::ostringstream o;
  const auto& p1 = Ed.PositionMarks[0];
  const auto& p2 = Ed.PositionMarks[1];
  o << Ed.WindowTop << '\n'
    << Ed.CurLine << '\n'
    << Ed.CurCol << '\n'
    << Ed.LineMarks[0] << '\n'
    << Ed.LineMarks[1] << '\n'
    << Ed.LineMarks[2] << '\n'
    << p1.Top << '\n'
    << p1.Line << '\n'
    << int(p1.Column) << '\n'
    << p2.Top << '\n'
    << p2.Line << '\n'
    << int(p2.Column) << '\n'
    << (Ed.InsertMode ? 1 : 0) << '\n'
    << (Kbd.RusLayoutOn ? 1 : 0) << '\n'
    << unsigned(Ed.FillCell | (Ed.LineLimitOff ? StateLimitOffBit : 0)) << '\n'
    << int(Ed.ColumnMark) << '\n';
  return o.str();
}

// Any content is safe: a missing or unreadable line keeps the default, a
// line number outside the text is dropped (the cursor line goes to the last
// line), columns are kept within 1..255.
void ApplyStateFileText(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (lines.size() < 16 && std::getline(in, line)) lines.push_back(line);
  auto value = [&](size_t i, long& v) {
    if (i >= lines.size()) return false;
    bool ok = false;
    v = ParseNumber(lines[i], ok);
    return ok;
  };
  auto column = [](long v, int fallback) { return v >= 1 && v <= MaxLineBytes ? int(v) : fallback; };
  long v;
  if (value(1, v)) Ed.CurLine = v > Txt.LineCount ? Txt.LineCount : ClampLine(v, Ed.CurLine);
  if (value(0, v)) Ed.WindowTop = ClampLine(v, Ed.WindowTop);
  if (Ed.WindowTop > Ed.CurLine) Ed.WindowTop = Ed.CurLine;
  if (value(2, v)) Ed.CurCol = column(v, Ed.CurCol);
  for (int m = 0; m < 3; ++m)
    if (value(size_t(3 + m), v)) Ed.LineMarks[size_t(m)] = v == 0 ? int16_t(0) : ClampLine(v, 0);
  for (int m = 0; m < 2; ++m) {
    PositionMark& p = Ed.PositionMarks[size_t(m)];
    size_t base = size_t(6 + 3 * m);
    if (value(base, v)) p.Top = v == 0 ? int16_t(0) : ClampLine(v, 0);
    if (value(base + 1, v)) p.Line = v == 0 ? int16_t(0) : ClampLine(v, 0);
    if (value(base + 2, v)) p.Column = uint8_t(column(v, 0));
    if (p.Line == 0) p = PositionMark{};
  }
  if (value(12, v)) Ed.InsertMode = v != 0;
  if (value(13, v)) Kbd.RusLayoutOn = v != 0;
  if (value(14, v) && (uint16_t(v) & StateLimitOffBit) != 0) Ed.LineLimitOff = true;
  if (value(15, v)) Ed.ColumnMark = uint8_t(column(v, Ed.ColumnMark));
}

void ReadStateFile() {
  if (auto text = ReadSharedFile(Ed.StatePath, 4096)) ApplyStateFileText(*text);
}

void WriteStateFile() { WriteSharedFile(Ed.StatePath, StateFileText()); }

void StartEditor(const std::vector<std::string>& args) {
  // Defaults.
  ResetEditorState(DefaultFillCell());
  ResetKeyState();
  Ed.PageLines = Scr.ScreenHeight - 3;
  ClearScreenCells();

  if (LargestFreeBlock() < LineTableBytes || !InitLineStore()) {
    ShowMessage(InBuildSet("НЕ ХВАТАЕТ ПАМЯТИ!"), 1);
    EndProgram(2);
  }

  if (!args.empty()) {
    Ed.FileName = args.back();
    size_t slash = Ed.FileName.rfind('/');
    Ed.BaseName = slash == std::string::npos ? Ed.FileName : Ed.FileName.substr(slash + 1);
    Ed.StatePath = "/tmp/" + Ed.BaseName + ".VkIni";
    std::string joined;
    for (size_t i = 0; i + 1 < args.size(); ++i) joined += args[i] + ' ';
    ScanSwitches(joined);

    if (Ed.StartScreen) {
      ShowStartScreen();
      MoveCursor(Scr.ScreenWidth + 1, Scr.ScreenHeight + 1);
      FlushScreen(false);
      WaitForKey(-1);
      GetKey();
      ClearScreenCells();
      MoveCursor(1, 1);
    }

    if (ApplyFileNameRules(Ed.FileName)) Ed.IndentColumn = 3;
    if (!LoadFile()) EndProgram(2);
  }

  ComputeTabStops();
  Ed.CurCol = Ed.IndentColumn;
  Ed.ColumnMark = Ed.IndentColumn;
  // An empty or new file counts as changed from the start: its one blank
  // line is inserted after this point in the order of start-up.
  Txt.Modified = Load.Empty;
  Ed.SearchString.clear();
  if (Ed.FormatWidth == 0) Ed.FormatWidth = Txt.LineWidth;
  Ed.WindowTop = 1;
  Ed.CurLine = 1;
  MoveCursor(Ed.IndentColumn, 3);
  if (Txt.LineCount == 0) {
    int16_t n = 1;
    InsertLine(Txt.LineWidth, n);
  }
  ReadStateFile();
  LoadStringHistory();
  Prompt.QuickSearchCase = Prompt.LoadedCase;
  if (!(Ed.FillCell & 0x0100)) {  // never set: the default, with the limit on
    Ed.FillCell = DefaultFillCell();
    Ed.LineLimitOff = false;
  }
  // Abbreviations and continuations, key definitions (both quietly) and,
  // with -K, the keystroke buffer.
  LoadShorts();
  KeyDefFileIO(DataFileAction::LoadAtStart);
  ClearKeyBufferCounters();
  if (Ed.LoadKeyBufferAtStart) KeyBufferFile(DataFileAction::LoadAtStart);
  ClearMessageLine();
}

void ExitEditor() {
  Ed.ExitStatus = 0;
  if (Txt.Modified) {
    Q.AskSelection = 1;
    const int answer = Ask(InBuildSet(" Записать в файл ? | 1 - да | 2 - нет | 3 = Esc - продолжить редактирование |"),
                           "", 0x3F, 0x2F, 0x5F, 0x0D);
    if (answer == 1) Ed.ExitStatus = 1;
    else if (answer == 2) Ed.ExitStatus = 3;
    else return;
  }
  if (Ed.ExitStatus == 1) {
    SaveFile();
    // A text that did not reach the disk is not given up: editing goes on.
    if (Txt.Modified) return;
  }
  AskKeyDefsSave();
  WriteStateFile();
  SaveStringHistory();
  EndProgram(Ed.ExitStatus);
}

bool UnsavedText() { return Txt.Modified && Txt.LineCount >= 1 && !Txt.LineTable.empty(); }

std::string EmergencySave() {
  if (!UnsavedText()) return {};
  const std::string content = TextForSave();
  // Beside the file, else in the home directory, else in the temporary
  // directory, else in /tmp.
  std::vector<std::string> bases;
  bases.push_back(Ed.FileName.empty() ? std::string("noname") : Ed.FileName);
  const std::string base = Ed.BaseName.empty() ? std::string("noname") : Ed.BaseName;
  std::vector<std::string> dirs;
  if (const char* home = std::getenv("HOME")) dirs.push_back(home);
  if (const char* tmp = std::getenv("TMPDIR")) dirs.push_back(tmp);
  dirs.push_back("/tmp");
  for (const std::string& dir : dirs) {
    if (dir.empty()) continue;
    std::string b = dir + (dir.back() == '/' ? "" : "/") + base;
    if (std::find(bases.begin(), bases.end(), b) == bases.end()) bases.push_back(b);
  }
  for (const std::string& base : bases) {
    for (int i = 0; i < 1000; ++i) {
      std::string name = base + ".save" + (i == 0 ? std::string() : "." + std::to_string(i));
      int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (fd < 0) {
        if (errno == EEXIST) continue;
        break;  // this directory takes nothing: try the next place
      }
      const char* p = content.data();
      size_t left = content.size();
      bool ok = true;
      while (left > 0) {
        ssize_t w = write(fd, p, left);
        if (w < 0) {
          if (errno == EINTR) continue;
          ok = false;
          break;
        }
        p += w;
        left -= size_t(w);
      }
      ok = fsync(fd) == 0 && ok;
      ok = close(fd) == 0 && ok;
      if (ok) return name;
      unlink(name.c_str());
      break;
    }
  }
  return {};
}

std::string VisibleBytes(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char ch : s) {
    uint8_t b = uint8_t(ch);
    if (b < 0x20 || b == 0x7F) {
      out += '^';
      out += char(b ^ 0x40);
    } else {
      out += ch;
    }
  }
  return out;
}

namespace {

// The usage of --help, in the editor's language.
constexpr const char* kUsage =
    "Использование: %s [ключи] файл    (или --help, --version)\n"
    "Редактор текстов на кириллице: vesk-koi8* - КОИ-8, vesk-866* - кодовая\n"
    "страница 866, *-rkbd - клавиши русской раскладки. Нет файла - он создаётся.\n"
    "Ключи (буква в любом регистре):\n"
    "  -+          без перекрестья курсора    -J      сдвиг экрана вбок по шагу\n"
    "  -Cцифра     цвет комментариев          -K      загрузить буфер клавиш\n"
    "  -Tцифра     шаг табуляции              -P      без проверки кодировки\n"
    "  -W          без заставки\n"
    "  -Iкаталог/  где хранить файл состояния (иначе /tmp/<файл>.VkIni)\n"
    "  -Xкаталог/  где хранить буфер обмена и сохранённые строки (иначе /tmp)\n"
    "Файлы veskinfo.hlp, vesk866.hlp (справка), keydef.vsk, shorts.vsk ищутся в\n"
    "текущем каталоге, в каталоге программы и в ../share/vesk от него.\n"
    "Окружение: TERM - тип терминала; LANG, LC_ALL - кодировка терминала (UTF-8,\n"
    "KOI8-R, CP866); VESK_ESC_TIMEOUT - ожидание после Esc, мс (35);\n"
    "VESK_BLINK=1 - мигание вместо яркого фона.\n"
    "Код завершения: 0 - выход без записи (или после F2), 1 - файл записан при\n"
    "выходе, 3 - изменения отброшены, 2 - редактор не смог начать работу.\n"
    "Закрытый сигналом редактор сохраняет изменённый текст в <файл>.save и\n"
    "завершается этим сигналом (оболочка видит 128 + номер сигнала).\n"
    "Подробнее: man vesk.\n";

// Text in UTF-8 as the locale's character set wants it: KOI8-R and CP866
// terminals get their bytes, every other locale UTF-8.
std::string ForLocale(const std::string& utf8) {
  setlocale(LC_ALL, "");
  std::string cs = nl_langinfo(CODESET);
  for (char& c : cs) c = char(std::toupper(uint8_t(c)));
  Charset set;
  if (cs == "KOI8-R" || cs == "KOI8R") set = Charset::Koi8;
  else if (cs == "CP866" || cs == "IBM866") set = Charset::Cp866;
  else return utf8;
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const int32_t u = DecodeUtf8(utf8, i);
    const int b = u < 0 ? -1 : ByteOf(set, char32_t(u));
    out += b < 0 ? '?' : char(b);
  }
  return out;
}

// --help or --version as the only argument: printed, nothing else done.
bool PrintInfo(const BuildConfig& build, int argc, char** argv) {
  if (argc != 2) return false;
  const std::string arg = argv[1];
  std::string text;
  if (arg == "--version") {
    text = std::string(build.Name) + " " + VESK_VERSION + "\n";
  } else if (arg == "--help") {
    const int n = std::snprintf(nullptr, 0, kUsage, build.Name);
    text.resize(size_t(n) + 1);
    std::snprintf(text.data(), text.size(), kUsage, build.Name);
    text.resize(size_t(n));
    text = ForLocale(text);
  } else {
    return false;
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
  return true;
}

}  // namespace

int RunEditor(const BuildConfig& build, int argc, char** argv) {
  SelectBuild(build);
  if (PrintInfo(build, argc, argv)) return 0;
  ResetAllState();
  TtySetup setup;
  std::string error;
  if (!ProbeTty(setup, error)) {
    std::fprintf(stderr, "%s: %s\n", build.Name, VisibleBytes(error).c_str());
    return 2;
  }
  ResetScreen(SupportedWidth(setup.Columns), std::min(setup.ScreenRows, 255));
  Term = OpenTty(setup);

  std::vector<std::string> args(argv + 1, argv + argc);
  Loop.Arguments = args;
  int status = 2;
  int signal = 0;
  std::string saved;
  bool unsaved = false;
  OnRealTerminal = true;
  try {
    StartEditor(args);
    MainLoop();
  } catch (const ProgramExit& e) {
    status = e.Status;
  } catch (const InputLost&) {
    unsaved = UnsavedText();
    saved = EmergencySave();
    signal = PendingSignal();
  } catch (const std::exception& e) {
    // Whatever went wrong, the text is not lost and the terminal comes back.
    error = e.what();
    try {
      unsaved = UnsavedText();
      saved = EmergencySave();
    } catch (const std::exception&) {
    }
  }
  Term->Restore();
  // Names come from the user and the file system: their control bytes are
  // shown, not sent to the terminal.
  if (!error.empty()) std::fprintf(stderr, "%s: %s\n", build.Name, VisibleBytes(error).c_str());
  if (!saved.empty()) std::fprintf(stderr, "%s: the text was saved to %s\n", build.Name, VisibleBytes(saved).c_str());
  else if (unsaved) std::fprintf(stderr, "%s: the text was changed and no copy of it could be written\n", build.Name);
  if (signal != 0) {
    ::signal(signal, SIG_DFL);
    raise(signal);
  }
  // The process ends here and its memory goes with it: nothing is freed
  // piece by piece on the way out.
  std::fflush(nullptr);
  _exit(status);
}
