#ifndef VELMORJOB_APP_TEXT_TABLE_H_
#define VELMORJOB_APP_TEXT_TABLE_H_

#include <string>
#include <vector>

// Rows of cells as lines of text, each column as wide as its widest cell
// and two spaces between columns, with no blank at the end of a line. The
// cells are text for the terminal already.
std::string TextTable(const std::vector<std::vector<std::string>>& rows);

#endif  // VELMORJOB_APP_TEXT_TABLE_H_
