// The editor core's state: cursor and window, marks and blocks, options,
// file names.  One instance, Ed; ResetEditorState gives the defaults of a
// fresh start.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

constexpr int MaxLines = 24575;  // lines a text may have

struct PositionMark {
  int16_t Line = 0;
  int16_t Top = 0;  // window top line saved with it
  uint8_t Column = 0;
};

// Pascal sources ("{" comments, Pascal keywords for some keys) or any other
// text ("#" comments).
enum class SourceMode : uint8_t { Plain, Pascal };

struct EditorState {
  // Files.
  std::string FileName;      // as written on the command line (at most 127)
  std::string BaseName;      // FileName after its last '/'
  std::string ClipboardPath = "/tmp/VeskClip";
  std::string StatePath = "/tmp/VeskINI";
  std::string SavedStringsPath = "/tmp/VeskSS";
  std::string KeyDefFileName = "keydef.vsk";
  // Data files of the current directory left unused because another user
  // owns them or everybody may write them; each is named once a session.
  std::vector<std::string> RefusedDataFiles;

  // Cursor and window.
  int16_t CurLine = 1;
  int CurCol = 1;
  int16_t WindowTop = 1;
  int HScroll = 0;
  int PageLines = 22;

  // Options.
  uint8_t FormatWidth = 254;
  uint8_t IndentColumn = 1;
  uint8_t TabWidth = 8;
  std::array<uint8_t, 32> TabStops{};
  uint8_t CommentColour = 3;
  bool CrossHair = true;
  bool HalfScroll = true;
  bool AskRecodeOnLoad = true;
  bool StartScreen = true;
  bool LoadKeyBufferAtStart = false;  // -K
  SourceMode Source = SourceMode::Plain;
  bool InsertMode = true;
  uint8_t ExitStatus = 2;
  uint16_t FillCell = 0;  // the idle message row's cell (character and attribute); from the build at start-up
  bool LineLimitOff = false;  // the line-length limit is switched off

  // Marks and blocks (the line store keeps their line numbers in step).
  std::array<int16_t, 3> LineMarks{};
  std::array<PositionMark, 2> PositionMarks{};
  uint8_t ColumnMark = 1;
  int16_t BlockFirst = 0, BlockLast = 0;
  int16_t RectFirst = 0, RectLast = 0;
  int RectFirstCol = 0, RectLastCol = 0;

  // "Get back": the positions jumps leave.
  std::array<PositionMark, 16> PositionHistory{};
  uint8_t HistoryIndex = 0;

  std::string SearchString;
};
extern EditorState Ed;

// The defaults of a fresh start; FillCell's default comes from the build.
void ResetEditorState(uint16_t fillCell);
// Records the cursor position in the "get back" history before a jump.
void PushPosition();
// Tab stops from IndentColumn and TabWidth: stop i+1 = stop i + width.
void ComputeTabStops();
