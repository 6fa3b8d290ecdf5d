// Reader of the profile file _N_P.DFN and of a profile's key description.
//
// The profile file is 8-bit text made of records, each ended by LF (a CR
// before it stays part of the record).  The first character is the tag;
// positions count from 1, the tag at 1, and Len includes the LF:
//
//   tag  record       positions
//   ---  -----------  ----------------------------------------------------
//   P    profile      2-11 name, padded with blanks
//   I    ISPEC        2 to Len-1 an ISPEC name, blanks around it allowed
//   O    ordinate     2-11 field name; 12 "T" = descending; 13 "T" = LIFP
//   C    condition    2-11 field name; 12 operator code; 13 not read;
//                     14 connective ("&" AND, "|" OR); 15 to Len-1 value
//
// A profile is its P record followed directly by its I, O and C records; any
// other tag (the next P, an empty record) ends it.  The n-th P record is
// served by key description n of the index file (description 0 belongs to
// no profile); the index layout is described in IndexWalk.cpp.
#include "database/Profile.h"

#include "database/BigEndian.h"
#include "database/ByteFile.h"
#include "database/Checked.h"
#include "database/Messages.h"
#include "database/Text.h"

namespace ondrel {
namespace {

// The failure of a profile load, with the description the message shows.
struct ProfileError {
  std::string description;
};

// Characters `start` (1-based) onward, at most `length` of them; nothing when
// the record is shorter.
std::string Mid(const std::string& s, std::size_t start, std::size_t length) {
  if (start > s.size()) return "";
  return s.substr(start - 1, length);
}

const char* OperatorText(char code) {
  switch (code) {
    case '0': return " = ";
    case '1': return " > ";
    case '2': return " < ";
    case '3': return " NOT = ";
    case '4': return " NOT > ";
    case '5': return " NOT < ";
    default: return "";
  }
}

void Yield(Platform& platform) { platform.DoEvents(); }

[[noreturn]] void Overflow(const std::string& path) {
  throw ProfileError{"Overflow while reading the key description in " + path + "."};
}

// One record up to and including its LF.  `lfRequired`: the end of the file
// inside the record is an error (the search for the profile); otherwise the
// record simply ends there (the profile's own records).
std::string CollectRecord(CharReader& reader, bool lfRequired, const std::string& path) {
  std::string record;
  char c = 0;
  while (c != '\n') {
    if (!reader.Next(c)) {
      if (lfRequired) throw ProfileError{"Input past end of file " + path + "."};
      break;
    }
    record += c;
  }
  return record;
}

void ReadKeysAndConditions(SharedState& state, Platform& platform) {
  ByteFile file;
  if (!file.Open(state.ProfilePath))
    throw ProfileError{"The file " + state.ProfilePath + " cannot be opened for reading."};
  CharReader reader(file);

  bool found = false;
  while (!found && !reader.AtEnd()) {
    const std::string record = CollectRecord(reader, true, state.ProfilePath);
    found = record[0] == 'P' && record.size() >= 2 && TrimSpaces(Mid(record, 2, 10)) == state.ProfileName;
  }
  while (found && !reader.AtEnd()) {
    const std::string record = CollectRecord(reader, false, state.ProfilePath);
    const char tag = record.empty() ? '\0' : record[0];
    // Each line is built here rather than in WindowText, which keeps the
    // record window's lines while the chooser is open.
    std::string line;
    if (tag == 'I') {
      if (record.size() < 2)
        throw ProfileError{"An ISPEC record of " + state.ProfilePath + " is too short to read."};
      platform.AddToList(ChooserList::Ispecs, TrimSpaces(Mid(record, 2, record.size() - 2)));
    } else if (tag == 'O') {
      platform.AddToList(ChooserList::Ordinates, OrdinateLine(record));
      state.Ordinates.push_back({TrimSpaces(Mid(record, 2, 10)), Mid(record, 12, 1) == "T", Mid(record, 13, 1) == "T"});
    } else if (tag == 'C') {
      if (!ConditionLine(record, line))
        throw ProfileError{"A condition record of " + state.ProfilePath + " is too short to read."};
      platform.AddToList(ChooserList::Conditions, line);
    } else {
      break;
    }
  }
}

// Reads n bytes of the index at a 1-based position; a failed read says
// whether the position lay before the start of the file or past its end.
void ReadIndexAt(ByteFile& index, std::int64_t position, void* dst, std::size_t n, const std::string& path) {
  if (position < 1)
    throw ProfileError{"Read before the start of file " + path + " (at position " + std::to_string(position) + ")."};
  if (!index.Read(position, dst, n)) throw ProfileError{"Input past end of file " + path + "."};
}

void FindKeyDescription(SharedState& state, ByteFile& index, int chosenPosition) {
  const std::string& path = state.IndexPath;
  unsigned char field[4];
  ReadIndexAt(index, 46, field, sizeof field, path);
  const std::uint32_t node = BE32(field);
  // The node number of the key descriptions is a Long: 2^31 and above name
  // no node of any file the viewer can read.
  if (node >= 0x80000000u)
    throw ProfileError{"The key descriptions of " + path + " are said to lie at node " + std::to_string(node) +
                       ", which no index file can hold."};
  const Long k = static_cast<Long>(node);
  if (!CheckedMul(k, std::int64_t{state.NodeSize}, state.KeyDescPos) ||
      !CheckedAdd(state.KeyDescPos, 7, state.KeyDescPos))
    Overflow(path);

  // Skip descriptions 0 to KeyNumber - 1 by their own lengths.
  if (chosenPosition < 0 || !CheckedAdd(chosenPosition, 1, state.KeyNumber)) Overflow(path);
  state.KeyCounter = 0;
  while (state.KeyCounter != state.KeyNumber) {
    unsigned char length[2];
    ReadIndexAt(index, state.KeyDescPos, length, sizeof length, path);
    state.KeyDescLength = BE16(length);
    if (!CheckedAdd(state.KeyDescPos, state.KeyDescLength, state.KeyDescPos)) Overflow(path);
    if (state.KeyDescPos < 1)
      throw ProfileError{"Key description " + std::to_string(state.KeyCounter) + " of " + path +
                         " gives its length as " + std::to_string(state.KeyDescLength) +
                         ", which leads before the start of the file."};
    ++state.KeyCounter;
  }
}

void ReadKeyHead(SharedState& state, ByteFile& index) {
  unsigned char head[12];
  ReadIndexAt(index, state.KeyDescPos, head, sizeof head, state.IndexPath);
  if (!CheckedAdd(state.KeyDescPos, 12, state.KeyDescPos)) Overflow(state.IndexPath);
  KeyHeadRecord& h = state.KeyHead;
  h.Spare1 = static_cast<char>(head[6]);
  h.WideTail = static_cast<char>(head[7]);
  for (int i = 0; i < 4; ++i) h.Spare4[i] = static_cast<char>(head[8 + i]);
  state.EntryTail = h.WideTail == '\0' ? 4 : 8;
  const Integer total = static_cast<Integer>((head[0] << 8) | head[1]);
  if (!CheckedSub(total, 12, h.DescLength)) Overflow(state.IndexPath);
  const std::uint32_t root = (std::uint32_t{head[2]} << 24) | (std::uint32_t{head[3]} << 16) |
                             (std::uint32_t{head[4]} << 8) | head[5];
  // A node number of 2^31 and above cannot be a node of any file.
  if (root >= 0x80000000u) throw ProfileError{"The root node of the key in " + state.IndexPath + " is out of range."};
  h.RootNode = static_cast<Long>(root);
  state.KeyLength = 0;
}

}  // namespace

std::string OrdinateLine(const std::string& record) {
  std::string line = TrimSpaces(Mid(record, 2, 10));
  if (Mid(record, 12, 1) == "T") line += ", Desc";
  if (Mid(record, 13, 1) == "T") line += ", LIFP";
  return line;
}

bool ConditionLine(const std::string& record, std::string& line) {
  if (record.size() < 15) return false;  // the value would have a negative length
  const std::string value = Mid(record, 15, record.size() - 15);
  line = TrimSpaces(Mid(record, 2, 10)) + OperatorText(record[11]);
  line += (value == "GLB.SPACES" || value == "GLB.ZEROS") ? value : "(" + value + ")";
  if (record[13] == '&') line += " AND";
  if (record[13] == '|') line += " OR";
  return true;
}

void LoadProfile(SharedState& state, Platform& platform, const std::vector<std::string>& profileList,
                 int chosenPosition) {
  try {
    if (chosenPosition < 0 || static_cast<std::size_t>(chosenPosition) >= profileList.size())
      throw ProfileError{"No profile is chosen."};
    state.ProfileName = TrimSpaces(profileList[static_cast<std::size_t>(chosenPosition)]);
    platform.SetChooserTitle(state.ProfileName + " Keys and Conditions");
    for (ChooserList list : {ChooserList::Ispecs, ChooserList::Ordinates, ChooserList::Conditions}) {
      platform.ClearList(list);
      Yield(platform);
    }

    state.Ordinates.clear();
    state.KeyPartLengths.clear();
    ReadKeysAndConditions(state, platform);
    Yield(platform);

    ByteFile index;
    if (!index.Open(state.IndexPath))
      throw ProfileError{"The file " + state.IndexPath + " cannot be opened for reading."};
    // The list position, not the name, selects the key description.
    FindKeyDescription(state, index, chosenPosition);
    Yield(platform);

    ReadKeyHead(state, index);
    Yield(platform);

    // A description whose parts do not come out even never brings the count
    // to 0; the count then runs down until it overflows, or a read passes
    // the end of the file, and the load fails.
    while (state.KeyHead.DescLength != 0) {
      unsigned char part[5];
      ReadIndexAt(index, state.KeyDescPos, part, sizeof part, state.IndexPath);
      if (!CheckedAdd(state.KeyDescPos, 5, state.KeyDescPos) ||
          !CheckedSub(state.KeyHead.DescLength, 5, state.KeyHead.DescLength))
        Overflow(state.IndexPath);
      state.KeyPart.PartLength = static_cast<Integer>((part[0] << 8) | part[1]);
      for (int i = 0; i < 3; ++i) state.KeyPart.PartRest[i] = static_cast<char>(part[2 + i]);
      if (!CheckedAdd(state.KeyLength, state.KeyPart.PartLength, state.KeyLength))
        Overflow(state.IndexPath);
      state.KeyPartLengths.push_back(state.KeyPart.PartLength);
    }

    Integer pad = 0;
    if (!CheckedAdd(state.KeyLength, state.EntryTail, pad) || !CheckedSub(pad, 3, pad) || pad < 0)
      throw ProfileError{"The key length in " + state.IndexPath + " is out of range."};
    state.EntryPad.assign(static_cast<std::size_t>(pad), ' ');
    index.Close();
    Yield(platform);
  } catch (const ProfileError& error) {
    platform.MessageBox(error.description, msg::kProfileTitle, MsgIcon::None, MsgButtons::OkCancel);
    platform.EndProgram();
  }
}

}  // namespace ondrel
