// netrove-cli addrbook: lists and edits the address book the dialog shows.
#include <functional>
#include <ostream>

#include "base/address_book.h"
#include "cli/cli_command.h"

namespace netrove::cli {
namespace {

// Changes the book under its lock, so that commands run at the same moment
// each see the others' entries; problems with the file go to stderr.
int Update(CliStreams& io, const std::function<bool(AddressBook&)>& change) {
  const AddressBookUpdate update = UpdateAddressBook(AddressBookPath(), change);
  for (const auto& problem : update.problems) io.err << problem << "\n";
  return update.saved ? 0 : 1;
}

// A name or host as one field of a NAME<TAB>HOST line: the tab, the line
// breaks and the backslash itself are written as escapes, so every line
// splits back into what the book holds.
std::string EscapedField(std::string_view text) {
  std::string field;
  for (const char c : text) {
    switch (c) {
      case '\\':
        field += "\\\\";
        break;
      case '\t':
        field += "\\t";
        break;
      case '\n':
        field += "\\n";
        break;
      case '\r':
        field += "\\r";
        break;
      default:
        field += c;
    }
  }
  return field;
}

int List(CliStreams& io) {
  const AddressBookLoad load = LoadAddressBook(AddressBookPath());
  if (!load.problem.empty()) io.err << load.problem << "\n";
  for (const auto& record : load.book.records()) {
    io.out << EscapedField(record.name) << "\t" << EscapedField(record.address) << "\n";
  }
  return load.problem.empty() ? 0 : 1;
}

int Add(const std::string& name, const std::string& host, CliStreams& io) {
  if (name.empty() || host.empty()) {
    io.err << "netrove-cli addrbook: the name and the host must not be empty\n";
    return kUsageError;
  }
  return Update(io, [&](AddressBook& book) {
    book.Insert({name, host});
    return true;
  });
}

int Remove(const std::string& name, CliStreams& io) {
  bool found = false;
  const int status = Update(io, [&](AddressBook& book) {
    const auto index = book.FindName(name);
    if (!index) return false;
    book.RemoveAt(*index);
    found = true;
    return true;
  });
  if (status != 0 || found) return status;
  io.err << "netrove-cli addrbook: no entry named \"" << name << "\"\n";
  return 1;
}

int RunAddressBook(const CommandLine& line, CliStreams& io) {
  const auto& args = line.operands();
  if (args.size() == 1 && args[0] == "list") return List(io);
  if (args.size() == 3 && args[0] == "add") return Add(args[1], args[2], io);
  if (args.size() == 2 && args[0] == "remove") return Remove(args[1], io);
  io.err << "netrove-cli addrbook: say list, add NAME HOST or remove NAME\n";
  return kUsageError;
}

const CommandRegistrar registrar(
    {"addrbook",
     "list | add NAME HOST | remove NAME",
     "List or edit the address book.",
     {},
     RunAddressBook,
     1,
     3,
     "  list          prints NAME<TAB>HOST for every entry, in the book's order; a tab,\n"
     "                line break or backslash in a name or host is written as \\t, \\n,\n"
     "                \\r or \\\\\n"
     "  add NAME HOST adds an entry at its place in that order\n"
     "  remove NAME   removes the entry of that name (exact match first, then\n"
     "                without regard to case)\n"
     "A NAME that begins with '-' follows '--'.\n"});

}  // namespace
}  // namespace netrove::cli
