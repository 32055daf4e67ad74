#pragma once
// Command lines in the Desktop Entry "Exec" syntax, which every file manager that reads action
// files understands. A quoted argument survives spaces, quotes, '$', '`' and '\' unchanged, and
// no part of it is ever evaluated.
#include <string>
#include <string_view>
#include <vector>

namespace quendra {

// One argument as the Exec rules want it: bare when it holds no reserved character, otherwise
// in double quotes with '"', '`', '$' and '\' escaped; '%' is always doubled.
std::string QuoteExecArgument(std::string_view argument);

// Splits an Exec line into its arguments, quotes removed; "%%" stays as written so that a
// field code ("%f") and a literal text are told apart. Throws std::invalid_argument on an
// unterminated quote.
std::vector<std::string> SplitExecLine(std::string_view line);

}  // namespace quendra
