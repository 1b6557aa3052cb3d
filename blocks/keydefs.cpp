#include "blocks/keydefs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "base/limits.h"
#include "base/state.h"
#include "edit/prompt.h"
#include "edit/typing.h"
#include "base/safefile.h"
#include "screen/cells.h"
#include "screen/keys.h"
#include "text/heap.h"
#include "text/linestore.h"
#include "text/messages.h"
#include "text/questions.h"
#include "text/savefile.h"

KeyDefState Defs;

namespace {

const char* const DefaultFileName = "keydef.vsk";
// A key-definition file holds at most 255 short lines; reading gives up
// after this much, so that a huge file given by mistake cannot stall.
constexpr size_t MaxFileBytes = size_t(16) << 20;

size_t BlockSize(std::string_view text) { return text.size() + 1; }

// The text before the first blank as a decimal number (an optional sign,
// then digits, within 32 bits); false when it is not one.
bool ParseIdentifier(std::string_view field, uint8_t& id) {
  size_t i = 0;
  bool negative = false;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
  if (i >= field.size()) return false;
  long long v = 0;
  for (; i < field.size(); ++i) {
    const char c = field[i];
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
    if (v > (long long)INT_MAX + 1) return false;
  }
  if (negative) v = -v;
  if (v > INT_MAX || v < INT_MIN) return false;
  id = uint8_t(uint32_t(int32_t(v)) & 0xFFu);
  return true;
}

// One line of the file: defines its identifier unless the line is not a
// definition.  False when the heap has no room, which ends the reading.
bool ReadDefinitionLine(std::string_view line) {
  const size_t blank = line.find(' ');
  if (blank == std::string_view::npos) return true;
  uint8_t id = 0;
  if (!ParseIdentifier(line.substr(0, blank), id)) return true;
  return DefineKey(id, line.substr(blank + 1));
}

// Reads the definitions of a file line by line; each line keeps at most its
// first 255 bytes.  False when the file is not a readable regular file.
bool ReadDefinitions(const std::string& path) {
  const int fd = OpenRegularForReading(path);
  if (fd < 0) return false;
  std::string line;
  bool cut = false;      // the line passed 255 bytes; the rest is dropped
  bool pending = false;  // bytes of a last line without its line end
  bool room = true;
  size_t total = 0;
  char buf[65536];
  auto finish = [&]() {
    // A line written on DOS keeps no CR.
    if (!cut && !line.empty() && line.back() == '\r') line.pop_back();
    room = ReadDefinitionLine(line);
    line.clear();
    cut = false;
    pending = false;
  };
  while (room && total < MaxFileBytes) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    total += size_t(n);
    for (ssize_t i = 0; i < n && room; ++i) {
      const char c = buf[i];
      if (c == '\n') {
        finish();
        continue;
      }
      pending = true;
      if (line.size() < size_t(MaxLineBytes)) line += c;
      else cut = true;
    }
  }
  if (room && pending) finish();
  close(fd);
  return true;
}

std::string DefinitionsText() {
  std::string out;
  for (int id = 1; id <= 255; ++id) {
    if (!Defs.Defined[size_t(id)]) continue;
    out += std::to_string(id);
    out += ' ';
    out += Defs.KeyDefs[size_t(id)];
    out += '\n';
  }
  return out;
}

}  // namespace

void ResetKeyDefs() {
  for (size_t id = 0; id < Defs.KeyDefs.size(); ++id)
    if (Defs.Defined[id]) HeapGive(BlockSize(Defs.KeyDefs[id]));
  Defs = KeyDefState{};
}

bool DefineKey(uint8_t id, std::string_view text) {
  if (text.size() > size_t(MaxLineBytes)) text = text.substr(0, size_t(MaxLineBytes));
  // The room is judged before the old text is given back, as the heap
  // could not promise to reuse that block.
  if (LargestFreeBlock() < BlockSize(text)) return false;
  if (Defs.Defined[id]) HeapGive(BlockSize(Defs.KeyDefs[id]));
  HeapTake(BlockSize(text));
  Defs.KeyDefs[id] = std::string(text);
  Defs.Defined[id] = true;
  return true;
}

uint8_t WithLayout(uint8_t scan) { return Kbd.RusLayoutOn ? uint8_t(scan + 0x80) : scan; }

uint8_t KeyIdentifier(uint32_t code) {
  const uint8_t ch = uint8_t(code), scan = uint8_t(code >> 8);
  return WithLayout(scan == 0xFF ? ch : scan);
}

void RunOrDefineKey(uint8_t id, bool redefine) {
  if (!redefine && Defs.Defined[id]) {
    TypeString(Defs.KeyDefs[id]);
    return;
  }
  const PromptResult typed = PromptLine(PromptKind::MacroWord);
  const std::string& text = typed.Text;
  if (!typed.Accepted() || text.empty()) return;
  if (!DefineKey(id, text)) {
    ShowMessage(InBuildSet("НЕ ХВАТАЕТ ПАМЯТИ!"), 1);
    return;
  }
  Defs.KeyDefsChanged = true;
}

void RunOrDefineAskedKey() {
  const std::string ask = InBuildSet("Нажмите клавишу идентификации макроса: ");
  ShowMessage(ask, 22);
  PutStringAt(1, 2, ask, 0x16);
  FlushScreen(false);
  GetKey();
  ClearMessageLine();
  RunOrDefineKey(KeyIdentifier(Kbd.KeyEvent));
}

void KeyDefFileIO(DataFileAction action) {
  std::string name = Ed.KeyDefFileName;
  const FileNameUse use = action == DataFileAction::LoadAtStart ? FileNameUse::Found
                          : action == DataFileAction::Write     ? FileNameUse::Write
                                                                : FileNameUse::Read;
  if (action == DataFileAction::LoadAtStart) {
    std::string found;
    if (!FindDataFile(name, found)) return;
    name = found;
  }
  // A name that fails gives way to the file the data-file lookup finds,
  // unless that is the name just tried.  The bound only matters for a user
  // who keeps changing the name and then giving up.
  bool open = false;
  for (int attempt = 0; attempt < 16 && !open; ++attempt) {
    if (AskFileName(name, use)) {
      open = true;
      break;
    }
    std::string found;
    if (!FindDataFile(DefaultFileName, found) || found == name) return;
    name = found;
  }
  if (!open) return;

  if (action == DataFileAction::Write) {
    if (!WriteFileSafely(name, DefinitionsText())) {
      ShowMessage(InBuildSet("Ошибка записи или файл - только для чтения!"), 1);
      return;
    }
    Defs.KeyDefsChanged = false;
    return;
  }
  if (!ReadDefinitions(name)) {
    if (action == DataFileAction::Read) ShowMessage(InBuildSet("Файл не найден: ") + name, 1);
    return;
  }
  if (action == DataFileAction::Read) ShowMessage(InBuildSet(" keydef.vsk - OK!"), 1);
}

void AskKeyDefsSave() {
  if (!Defs.KeyDefsChanged) return;
  Q.AskSelection = 1;
  if (Ask(InBuildSet(" Макросы записать ? | 1 - да | 2 или Esc - нет |"), "", 0x3F, 0x2F, 0x5F, 0x0D) == 1)
    KeyDefFileIO(DataFileAction::Write);
}
