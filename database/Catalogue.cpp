// The catalogue of a database directory and the file set of an ISPEC.
//
// A run time database is one directory holding, for each ISPEC named N, the
// files _N.DFN (definition), _N_P.DFN (profiles), _N.DAT (data) and _N.IDX
// (index).  The ISPECs are found through their definition files.
//
// Of the profile file this reader takes only the profile names; of the index
// header only two fields (the whole header is described in IndexWalk.cpp):
//
//   offset  size  meaning
//   ------  ----  ---------------------------------------------------------
//        6     1  node size code: 7 = nodes of 2048 bytes, anything else 512
//       33     4  BE32 number of records
//
// so a sound index file is at least 37 bytes long.
#include "database/Catalogue.h"


#include <cstring>
#include <exception>
#include <memory>

#include "database/ByteFile.h"
#include "database/Messages.h"
#include "database/RandomAccessFile.h"
#include "database/Text.h"
#ifdef _WIN32
#include "database/WindowsBoundary.h"
#endif

namespace ondrel {
namespace {

bool EndsWithNoCase(const std::string& s, const char* suffix) {
  const std::size_t n = std::strlen(suffix);
  return s.size() >= n && ::strncasecmp(s.c_str() + s.size() - n, suffix, n) == 0;
}

// Shows the incomplete-database message naming CurrentPath and ends the
// program, whichever button is pressed.
[[noreturn]] void Incomplete(SharedState& state, Platform& platform) {
  platform.MessageBox(std::string(msg::kIncompleteBefore) + state.CurrentPath +
                          msg::kIncompleteAfter,
                      msg::kIncompleteTitle, MsgIcon::None, MsgButtons::OkCancel);
  platform.EndProgram();
  std::terminate();  // EndProgram never returns; this keeps the promise if it did
}

}  // namespace

std::vector<std::string> ListIspecs(const std::string& directory, bool* readable) {
  std::vector<std::string> ispecs;
  std::vector<std::string> names;
  const bool listed = DirectoryNames(directory, names);
  if (readable) *readable = listed;
  for (const std::string& name : names) {
    // "*.DFN" matches regardless of letter case, as the directory search of
    // the database's home platform does; the profile files are told apart by
    // an exact, upper-case "_P.DFN".
    // A name too short to hold ".DFN" after its first character names no
    // ISPEC; a folder with a matching name is no definition file.
    if (name.size() < 5 || !EndsWithNoCase(name, ".DFN")) continue;
    if (name.size() >= 6 && name.compare(name.size() - 6, 6, "_P.DFN") == 0) continue;
    const std::string path = JoinPath(directory, name);
    const PathKind kind = KindOfPath(path);
    if (kind == PathKind::Missing || kind == PathKind::Directory) continue;
    // The first character (the "_" of a sound set) and ".DFN" are dropped.
    ispecs.push_back(name.substr(1, name.size() - 5));
  }
  return ispecs;
}

std::string JoinPath(const std::string& directory, const std::string& fileName) {
#ifdef _WIN32
  // The folder is UTF-8 as the user typed it; the file name is in the owning
  // application's code page (WindowsBoundary.h) and becomes UTF-8 here, so
  // that the whole path is one the seam can hand to the system.  A Windows
  // folder may end in its own separator, or be a drive alone ("D:", that
  // drive's current folder).
  const std::string name = Cp1252NameToUtf8(fileName);
  if (!directory.empty() && (directory.back() == '/' || directory.back() == '\\' || directory.back() == ':'))
    return directory + name;
  return directory + "/" + name;
#else
  if (!directory.empty() && directory.back() == '/') return directory + fileName;
  return directory + "/" + fileName;
#endif
}

std::string RecordCountCaption(Long recordCount) {
  return std::to_string(recordCount) + " Records";
}

std::vector<std::string> LoadFileSet(SharedState& state, Platform& platform,
                                     const std::string& directory, const std::string& chosenEntry) {
  state.IspecName = TrimSpaces(chosenEntry);

  platform.SetRecordCountLabel("");
  state.Heading.clear();  // the next record window loads this ISPEC's definition
  platform.ClearList(ChooserList::Profiles);
  state.ProfileName.clear();
  platform.DoEvents();

  state.DefinitionPath = JoinPath(directory, "_" + state.IspecName + ".DFN");
  state.ProfilePath = JoinPath(directory, "_" + state.IspecName + "_P.DFN");
  state.DataPath = JoinPath(directory, "_" + state.IspecName + ".DAT");
  state.IndexPath = JoinPath(directory, "_" + state.IspecName + ".IDX");

  // Profile names, in file order: the list position selects the key.
  std::vector<std::string> profiles;
  state.CurrentPath = state.ProfilePath;
  {
    ByteFile file;
    if (!file.Open(state.ProfilePath)) Incomplete(state, platform);
    CharReader reader(file);
    while (!reader.AtEnd()) {
      std::string record;
      char c = 0;
      do {
        if (!reader.Next(c)) Incomplete(state, platform);  // ends inside a record
        record += c;
      } while (c != '\n');
      // "P" with its LF alone is a profile of an empty name: it keeps its
      // place, so the profiles after it keep their key descriptions.
      if (record[0] == 'P' && record.size() >= 2) {
        const std::string name = record.substr(1, record.find_first_of(" \n", 1) - 1);
        profiles.push_back(name);
        platform.AddToList(ChooserList::Profiles, name);
      }
    }
  }

  state.CurrentPath = state.IndexPath;
  {
    ByteFile file;
    if (!file.Open(state.IndexPath)) Incomplete(state, platform);
    unsigned char sizeCode = 0;
    Long count = 0;
    // A header too short for both fields, or a count of 2^31 and above,
    // leaves the set as unusable as a missing index.
    if (!file.Read(7, &sizeCode, 1) || !file.ReadLong(34, count)) Incomplete(state, platform);
    state.NodeSize = sizeCode == 7 ? 2048 : 512;
    state.RecordCount = count;
    platform.SetRecordCountLabel(RecordCountCaption(state.RecordCount));
  }

  state.CurrentPath = state.DataPath;
  {
    ByteFile file;  // only proves the data file is there and readable
    if (!file.Open(state.DataPath)) Incomplete(state, platform);
  }
  return profiles;
}

}  // namespace ondrel
