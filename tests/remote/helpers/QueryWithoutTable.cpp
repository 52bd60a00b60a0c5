// A program that has the SQL query and nothing of the table layer: it runs one local
// statement on the note files of the folder it is given and prints the first column of each
// row, one a line. Exit 0 when the statement ran, 1 with the refusal on stderr otherwise.
//
//   query_without_table FOLDER STATEMENT
#include <cstdio>

#include "remote/XbQuery.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: query_without_table FOLDER STATEMENT\n");
    return 2;
  }
  try {
    TXbQuery query;
    query.SetDatabaseName(argv[1]);
    query.SetSQL(argv[2]);
    query.Open();
    for (query.First(); !query.Eof(); query.Next())
      std::printf("%s\n", query.Fields().Fields(0)->AsString().c_str());
    query.Close();
  } catch (const Exception& e) {
    std::fprintf(stderr, "%s\n", e.Message.c_str());
    return 1;
  }
  return 0;
}
