#include "shell/exec_line.h"

#include <stdexcept>

namespace quendra {

namespace {
constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
constexpr std::string_view kEscapedInQuotes = "\"`$\\";
}  // namespace

std::string QuoteExecArgument(std::string_view argument) {
  const bool quote = argument.empty() || argument.find_first_of(kReserved) != std::string::npos;
  std::string out;
  out.reserve(argument.size() + 8);
  if (quote) out += '"';
  for (char c : argument) {
    if (c == '%') out += '%';
    if (quote && kEscapedInQuotes.find(c) != std::string_view::npos) out += '\\';
    out += c;
  }
  if (quote) out += '"';
  return out;
}

std::vector<std::string> SplitExecLine(std::string_view line) {
  std::vector<std::string> args;
  std::string current;
  bool inArgument = false, quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"') {
        quoted = false;
      } else if (c == '\\' && i + 1 < line.size() &&
                 kEscapedInQuotes.find(line[i + 1]) != std::string_view::npos) {
        current += line[++i];
      } else {
        current += c;
      }
    } else if (c == ' ' || c == '\t' || c == '\n') {
      if (inArgument) args.push_back(std::move(current));
      current.clear();
      inArgument = false;
    } else {
      inArgument = true;
      if (c == '"')
        quoted = true;
      else
        current += c;
    }
  }
  if (quoted) throw std::invalid_argument("unterminated quote in command line");
  if (inArgument) args.push_back(std::move(current));
  return args;
}

}  // namespace quendra
