#include <dlfcn.h>
#include <histedit.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <clocale>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <string>
#include <string_view>

#include "keys/keys.hpp"
#include "line_editor/line_editor.hpp"
#include "screen/screen.hpp"
#include "terminal/loaded_library.hpp"
#include "terminal/streams.hpp"
#include "terminal/terminal.hpp"

// The line editor is libedit (BSD licence). It reads the keys itself, so
// that a stop and a continue, or a new terminal size, can redraw the line;
// its own signal handling stays off, since the program's puts the terminal
// back on every signal and must not have a signal passed around twice.
namespace line_editor {
namespace {

// libedit is loaded only where lines are edited: a program started for
// piped tasks does not load it and the libraries it needs at every start,
// and without it a terminal is read line by line as before.
struct Libedit {
  decltype(&::el_init_fd) el_init_fd = nullptr;
  decltype(&::el_set) el_set = nullptr;
  decltype(&::el_gets) el_gets = nullptr;
  decltype(&::el_resize) el_resize = nullptr;
  decltype(&::el_wline) el_wline = nullptr;
  decltype(&::history_init) history_init = nullptr;
  decltype(&::history) history = nullptr;
};

const Libedit* load_libedit() {
  static Libedit functions;
  for (const char* name : {"libedit.so.2", "libedit.so.0"}) {
    void* library = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (library != nullptr && terminal::find_function(library, "el_init_fd", functions.el_init_fd) &&
        terminal::find_function(library, "el_set", functions.el_set) &&
        terminal::find_function(library, "el_gets", functions.el_gets) &&
        terminal::find_function(library, "el_resize", functions.el_resize) &&
        terminal::find_function(library, "el_wline", functions.el_wline) &&
        terminal::find_function(library, "history_init", functions.history_init) &&
        terminal::find_function(library, "history", functions.history)) {
      return &functions;
    }
  }
  return nullptr;
}

const Libedit* libedit_if_present() {
  static const Libedit* const loaded = load_libedit();
  return loaded;
}

const Libedit& libedit() { return *libedit_if_present(); }  // once edits_lines() has found it

// Enough lines to walk back through a session; the history lives in memory
// only and must not grow without bound.
constexpr int kHistoryLines = 500;

// As the terminal's own line mode, a line holds a bounded number of
// characters: a paste of any length then costs the editor (which draws the
// whole line for every key) and the history no more than one such line.
// Characters typed beyond are dropped.
constexpr std::ptrdiff_t kLineCharacters = 4095;

// The keys that do something, each bound to the editor function that does
// it; every other key is bound to nothing, so that none of libedit's other
// commands (its command prompt, repeat counts, searches, macros) can be
// reached. Characters that can be shown are inserted.
struct Binding {
  const char* keys;
  const char* function;
};
constexpr const char* kInsert = "ed-insert";
constexpr const char* kNothing = "ed-ignore";
// clang-format off
constexpr Binding kControlKeys[] = {
    {"^A", "ed-move-to-beg"},        // Home
    {"^E", "ed-move-to-end"},        // End
    {"^D", "em-delete-or-list"},     // the character under the cursor; on an empty line, end of input
    {"^H", "em-delete-prev-char"},   // Backspace
    {"^?", "em-delete-prev-char"},
    {"^J", "ed-newline"},            // Enter
    {"^M", "ed-newline"},
    {"^K", "ed-kill-line"},          // from the cursor to the end of the line
    {"^U", "vi-kill-line-prev"},     // from the start of the line to the cursor
    {"^W", "ed-delete-prev-word"},   // the word before the cursor
};

// The keys that send sequences. Any other key's sequence (F1, Page Up,
// Insert, Ctrl+Left, Alt with another key ...) is dropped whole, so that
// none of its bytes lands in the line as characters.
constexpr Binding kKeysWithSequences[] = {
    {"\x1b[A", "ed-prev-history"},      // Up, Down, Right, Left
    {"\x1b[B", "ed-next-history"},
    {"\x1b[C", "ed-next-char"},
    {"\x1b[D", "ed-prev-char"},
    {"\x1bOA", "ed-prev-history"},      //   in application mode
    {"\x1bOB", "ed-next-history"},
    {"\x1bOC", "ed-next-char"},
    {"\x1bOD", "ed-prev-char"},
    {"\x1b[H", "ed-move-to-beg"},       // Home, as xterm and its descendants send it
    {"\x1bOH", "ed-move-to-beg"},       //   in application mode
    {"\x1b[1~", "ed-move-to-beg"},      //   as the Linux console, screen and tmux send it
    {"\x1b[7~", "ed-move-to-beg"},      //   as rxvt sends it
    {"\x1b[F", "ed-move-to-end"},       // End, likewise
    {"\x1bOF", "ed-move-to-end"},
    {"\x1b[4~", "ed-move-to-end"},
    {"\x1b[8~", "ed-move-to-end"},
    {"\x1b[3~", "ed-delete-next-char"}, // Delete
    {"\x1b" "b", "ed-prev-word"},       // Alt+B: a word to the left
    {"\x1b" "f", "em-next-word"},       // Alt+F: a word to the right
    {"\x1b" "d", "em-delete-next-word"},// Alt+D: the word after the cursor
    {"\x1b\x7f", "ed-delete-prev-word"},// Alt+Backspace: the word before it
};
// clang-format on
constexpr char kEscape = '\x1b';

// The terminal's own editing characters, as readline binds them: over the
// documented keys, which stay where the user has not moved one there. The
// eof character ends the input on an empty line (read_character), as
// Ctrl+D does.
struct UsersKey {
  unsigned char terminal::EditingCharacters::*character;
  const char* function;
};
constexpr UsersKey kUsersKeys[] = {
    {&terminal::EditingCharacters::erase, "em-delete-prev-char"},
    {&terminal::EditingCharacters::word_erase, "ed-delete-prev-word"},
    {&terminal::EditingCharacters::kill, "vi-kill-line-prev"},
    {&terminal::EditingCharacters::literal_next, "ed-quoted-insert"},
    {&terminal::EditingCharacters::reprint, "ed-redisplay"},
};
terminal::EditingCharacters users_keys;  // as bound for the line being read

std::string current_prompt;
std::string key_sequence;  // a bound key's sequence, handed to the editor a byte at a time
std::size_t key_sequence_at = 0;
std::string last_line;  // what read_edited_line returned, kept for the caller

// Why the keys ran out while a line was read: libedit reports the end of
// the input and a failed read alike, as a line that failed, and leaves
// errno as its own writes and mode changes left it. Only the key reader
// knows which it was, so its word is kept here.
enum class KeysRanOut { not_yet, at_end_of_input, by_failure };
KeysRanOut keys_ran_out = KeysRanOut::not_yet;
int keys_failed_with = 0;

char* show_prompt(EditLine* /*editor*/) { return current_prompt.data(); }

// Back from a stop or a continue, or after the terminal changed its size:
// the pass, the prompt and the line typed so far drawn again.
void redraw(terminal::WakeUps happened);
void bind_users_keys(EditLine* line);

bool means_something(std::string_view sequence) {
  return std::any_of(std::begin(kKeysWithSequences), std::end(kKeysWithSequences),
                     [sequence](const Binding& key) { return sequence == key.keys; });
}

bool line_is_full(EditLine* editor) {
  const LineInfoW* line = libedit().el_wline(editor);
  return line->lastchar - line->buffer >= kLineCharacters;
}

bool line_is_empty(EditLine* editor) {
  const LineInfoW* line = libedit().el_wline(editor);
  return line->lastchar == line->buffer;
}

bool is_users_end_of_file(const std::string& key) {
  return users_keys.end_of_file != 0 && key.size() == 1 &&
         static_cast<unsigned char>(key.front()) == users_keys.end_of_file;
}

// A key that is a character of the user's set, as the editor takes it. One
// that is not (any byte beyond ASCII in the C locale, a broken UTF-8
// sequence) could be neither shown nor returned: a question mark reads as
// it would, a character that is neither a sign, a digit nor white space,
// and shows where it was.
wchar_t as_character(const std::string& key) {
  std::mbstate_t state{};
  wchar_t character = L'?';
  const std::size_t used = std::mbrtowc(&character, key.data(), key.size(), &state);
  return used == key.size() ? character : L'?';
}

// The editor's way of reading: one character in the user's character set,
// from the keys the terminal's reader returns whole. A key's sequence that
// is bound goes to the editor a byte at a time; any other is dropped whole.
int read_character(EditLine* editor, wchar_t* character) {
  for (;;) {
    if (key_sequence_at < key_sequence.size()) {
      *character = static_cast<wchar_t>(static_cast<unsigned char>(key_sequence[key_sequence_at++]));
      return 1;
    }
    const std::string key = keys::read_key(redraw);
    if (key.empty()) {
      // The key reader's errno tells the two apart: 0 where the input ended
      // (a terminal that hung up gives no more keys, as after Ctrl+D).
      keys_failed_with = errno;
      keys_ran_out = keys_failed_with == 0 ? KeysRanOut::at_end_of_input : KeysRanOut::by_failure;
      *character = L'\0';
      return keys_ran_out == KeysRanOut::at_end_of_input ? 0 : -1;
    }
    if (key.front() == kEscape) {
      key_sequence = means_something(key) ? key : std::string();
      key_sequence_at = 0;
      continue;
    }
    if (key.front() == '\0') {
      continue;  // Ctrl+Space and Ctrl+@ do nothing, as every control key not bound
    }
    if (is_users_end_of_file(key) && line_is_empty(editor)) {
      keys_ran_out = KeysRanOut::at_end_of_input;
      keys_failed_with = 0;
      *character = L'\0';
      return 0;
    }
    *character = as_character(key);
    // Beyond ASCII, what cannot be shown (the C1 controls, in an 8-bit set
    // single bytes 0x80 to 0x9F, which libedit would take for Alt with a
    // control key) does nothing, as every control key not bound.
    if (*character >= L'\x80' && std::iswprint(static_cast<wint_t>(*character)) == 0) {
      continue;
    }
    if (*character >= L' ' && *character != L'\x7f' && line_is_full(editor)) {
      continue;
    }
    return 1;
  }
}

struct Editor {
  EditLine* line = nullptr;
  History* history = nullptr;
};

// Every single key first (0 stays as libedit has it: the string that would
// name it ends there), then the sequences, which make Escape their lead-in.
void bind_documented_keys_only(EditLine* line) {
  const Libedit& lib = libedit();
  for (int key = 1; key < 256; ++key) {
    std::array<char, 8> name{};
    std::snprintf(name.data(), name.size(), "\\%03o", key);
    const bool shown = key >= ' ' && key != 0x7f;
    lib.el_set(line, EL_BIND, name.data(), shown ? kInsert : kNothing, nullptr);
  }
  for (const Binding& key : kControlKeys) {
    lib.el_set(line, EL_BIND, key.keys, key.function, nullptr);
  }
  for (const Binding& key : kKeysWithSequences) {
    lib.el_set(line, EL_BIND, key.keys, key.function, nullptr);
  }
}

// Bound anew where the user's characters changed (an stty while the
// program was stopped), on top of the documented keys.
void bind_users_keys(EditLine* line) {
  const terminal::EditingCharacters now = terminal::users_editing_characters();
  if (now == users_keys) {
    return;
  }
  if (users_keys != terminal::EditingCharacters{}) {
    bind_documented_keys_only(line);
  }
  users_keys = now;
  for (const UsersKey& key : kUsersKeys) {
    const unsigned char character = users_keys.*key.character;
    if (character != 0) {
      std::array<char, 8> name{};
      std::snprintf(name.data(), name.size(), "\\%03o", character);
      libedit().el_set(line, EL_BIND, name.data(), key.function, nullptr);
    }
  }
}

// What the editor draws reaches the screen as the program's other output
// does, only while the terminal is the program's: its own writes to
// standard output would go on after a stop and `bg`, onto the shell's
// screen.
ssize_t draw(void* /*cookie*/, const char* bytes, std::size_t size) {
  return terminal::write_to_screen({bytes, size}) ? static_cast<ssize_t>(size) : -1;
}

FILE* screen_file() {
  static FILE* const file =
      fopencookie(nullptr, "w", {.read = nullptr, .write = draw, .seek = nullptr, .close = nullptr});
  return file != nullptr ? file : stdout;
}

Editor open_editor() {
  // The editor measures and converts characters by the C library's locale;
  // nothing else in the program depends on it.
  std::setlocale(LC_CTYPE, "");
  const Libedit& lib = libedit();
  Editor editor;
  editor.history = lib.history_init();
  HistEvent event{};
  lib.history(editor.history, &event, H_SETSIZE, kHistoryLines);
  lib.history(editor.history, &event, H_SETUNIQUE, 1);
  // libedit switches the modes of the terminal it reads from around every
  // line: it is given the stand-in, and keys come from the user's terminal
  // through read_character.
  editor.line = lib.el_init_fd("taschenrechner", stdin, screen_file(), stderr, terminal::stand_in_terminal(),
                               STDOUT_FILENO, STDERR_FILENO);
  lib.el_set(editor.line, EL_SIGNAL, 0);
  lib.el_set(editor.line, EL_EDITOR, "emacs");
  lib.el_set(editor.line, EL_HIST, lib.history, editor.history);
  lib.el_set(editor.line, EL_PROMPT, show_prompt);
  lib.el_set(editor.line, EL_GETCFN, read_character);
  // From the first prompt on, between two lines too: keys typed ahead then
  // (Ctrl+D above all) reach the next line as typed, rather than being
  // echoed twice or turned into line ends by the terminal. The program puts
  // the modes it found back at its end.
  terminal::enter_key_mode();
  bind_documented_keys_only(editor.line);
  return editor;
}

Editor& editor() {
  static Editor opened = open_editor();
  return opened;
}

// libedit draws relative to where it last left the cursor, which a resize,
// or the shell's lines after a stop, have moved. EL_REFRESH forgets what it
// drew and draws the prompt and the line from where the cursor stands now,
// taking it for the prompt's first column: after the pass shown whole
// again that is the start of the line below it; where the screen cannot be
// cleared, a line of its own below whatever is there (after a stop of the
// program's own the shell's lines end with one).
void redraw(terminal::WakeUps happened) {
  if (!happened.resumed && !happened.continued && !happened.resized) {
    return;
  }
  if (happened.resized) {
    libedit().el_resize(editor().line);
  }
  if (happened.resumed) {
    bind_users_keys(editor().line);  // an stty while stopped counts from here
  }
  if (!screen::show_pass_again(happened) && !happened.resumed) {
    static_cast<void>(terminal::write_to_screen("\r\n"));
  }
  libedit().el_set(editor().line, EL_REFRESH);
}

void remember(const std::string& line) {
  const std::string_view text(line.data(), line.size() - (line.ends_with('\n') ? 1 : 0));
  if (text.find_first_not_of(" \t") == std::string_view::npos) {
    return;
  }
  HistEvent event{};
  libedit().history(editor().history, &event, H_ENTER, std::string(text).c_str());
}

}  // namespace

bool edits_lines() {
  static const bool edits = [] {
    return terminal::input_is_terminal() && terminal::output_is_terminal() && screen::takes_escapes() &&
           libedit_if_present() != nullptr && terminal::stand_in_terminal() >= 0;
  }();
  return edits;
}

std::optional<std::string_view> read_edited_line(const std::string& prompt) {
  current_prompt = prompt;
  // The editor draws its prompt afresh; what the pass showed before it is
  // shown again first where a stop or a resize came since.
  const terminal::WakeUps happened = terminal::take_wake_ups();
  if (happened.resized) {
    libedit().el_resize(editor().line);
  }
  static_cast<void>(screen::show_pass_before_prompt(happened));
  bind_users_keys(editor().line);
  int count = 0;
  keys_ran_out = KeysRanOut::not_yet;
  errno = 0;
  const char* line = libedit().el_gets(editor().line, &count);
  if (line == nullptr || count <= 0) {
    if (count >= 0 || keys_ran_out == KeysRanOut::at_end_of_input) {
      return std::string_view();
    }
    // A failure of libedit's own may come without errno; it is still one.
    const int cause = keys_ran_out == KeysRanOut::by_failure ? keys_failed_with : errno;
    errno = cause != 0 ? cause : EIO;
    return std::nullopt;
  }
  last_line.assign(line, static_cast<std::size_t>(count));
  remember(last_line);
  screen::note_shown(current_prompt);
  screen::note_typed(last_line);
  return last_line;
}

}  // namespace line_editor
