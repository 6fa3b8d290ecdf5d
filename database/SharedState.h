// The one set of variables that the screens and the database routines share.
//
// Every routine takes this object by reference and hands its results to the
// next routine through it, under the names the users and screens know.  The
// object lives for the whole run; nothing here is saved when the program ends.
//
// Whole-number types follow the database's own: an Integer is 16-bit signed,
// a Long 32-bit signed.  Arithmetic that must fail on overflow goes through
// Checked.h, never through plain operators on these types.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "database/FileIdentity.h"

namespace ondrel {

using Integer = std::int16_t;
using Long = std::int32_t;

// Entries per section of the scroll bar: one scroll range holds at most this
// many positions.  The section count, the scroll maximum, the mapping from
// (section, scroll value) to an entry number and the record window's section
// all use this one constant.
inline constexpr Long kSectionSize = 32000;

struct FieldDef {
  std::string Name;
  Integer Number = 0;
  std::string Type;
  Integer Width = 0;
  Integer Decimals = 0;
  Integer Column = 0;  // 1-based heading column of a displayed field, else 0
};

// One ordinate (key field) of the chosen profile, from its "O" record.
struct OrdinateDef {
  std::string Name;         // the field name, blanks removed at both ends
  bool Descending = false;  // "T" at position 12
  bool Lifp = false;        // "T" at position 13
};

// How the bytes of a descending key part are stored: as written (the tree
// then keeps them in falling order), inverted byte by byte (their stored
// bytes then rise like an ascending part's), or not known yet.  Ascending
// parts are always stored as written.
enum class PartStorage : signed char { Unknown, Plain, Inverted };

// Whether each stored key is the ordinate fields of its record, as the tree
// was seen to keep them (KeyRecord.h): not learnt yet, yes, or no (the keys
// are made some other way, and are not compared with their records).
// Capitals: the keys are the fields with their small letters made capitals
// (KeyCapitals); they are not compared either, but a typed key is sought in
// capitals.
enum class KeyRecordCheck : signed char { Unknown, Yes, No, Capitals };

// How a walk of a tree went.
struct WalkResult {
  int failures = 0;          // failures reported, the one that ended the walk included
  bool stopped = false;      // the walk ended early at the failure limit
  std::int64_t skipped = 0;  // child pointers of interior nodes left unread when it did
};

struct LeafRef {
  Long CumCount = 0;  // entries in leaves 1 to k together
  std::int64_t NodePos = 0;  // 1-based position of the leaf node in the index file
};

// Head of a key description in the index file: 12 bytes, members in order.
struct KeyHeadRecord {
  Integer DescLength = 0;  // total length; then the key part bytes still to read
  Long RootNode = 0;       // node number of the root of the key's tree
  char Spare1 = ' ';
  char WideTail = ' ';     // NUL: entry tail 4; anything else: 8
  char Spare4[4] = {' ', ' ', ' ', ' '};
};

// One key part description in the index file: 5 bytes.
struct KeyPartRecord {
  Integer PartLength = 0;
  char PartRest[3] = {' ', ' ', ' '};
};

struct SharedState {
  // Text constants, set once by the contents screen's load.  They start
  // empty, as every text does, until that load runs (SetTextConstants).
  std::string LineBreak;  // CR LF: ends every multi-line text the viewer builds
  std::string Delimiter;  // LF: ends a text-file record and an active data record
  std::string TabChar;    // TAB

  // Chosen file set.
  std::string IspecName;
  std::string ProfileName;
  std::string DefinitionPath;
  std::string ProfilePath;
  std::string DataPath;  // "" until an ISPEC has been chosen
  std::string IndexPath;
  std::string CurrentPath;  // the file of the set being opened or read
  bool ChooserCancelled = false;

  // Index geometry and chosen key.
  Integer NodeSize = 0;
  Long RecordCount = 0;
  Integer KeyNumber = 0;
  Integer KeyCounter = 0;
  Integer KeyDescLength = 0;
  std::int64_t KeyDescPos = 0;  // 64-bit, as every position in the index
  KeyHeadRecord KeyHead;
  KeyPartRecord KeyPart;
  Integer KeyLength = 0;
  Integer EntryTail = 0;
  std::string EntryPad;  // KeyLength + EntryTail - 3 spaces; only its length counts
  // The chosen profile's ordinates in file order, and the lengths of its
  // key's parts in key order, as the key description gives them.
  std::vector<OrdinateDef> Ordinates;
  std::vector<Integer> KeyPartLengths;

  // Definition.
  std::vector<FieldDef> FieldTable;  // element 0 unused: fields are 1 to FieldCount
  Integer FieldCount = 0;
  Long RecordLength = 0;  // 0 = no definition
  std::string Heading;    // "" = not loaded yet

  // Reference information.  LeafIndex is 32-bit so that a tree of any number
  // of leaves is described in full (a 16-bit count would stop near a million
  // entries).
  std::vector<LeafRef> LeafTable;
  Long LeafIndex = 0;
  // Running maximum of CumCount over LeafTable(1..k), kept by the walk.  On a
  // sound tree it equals CumCount; on a damaged one (a leaf with a used length
  // below 2) CumCount can fall, and the running maximum still lets the leaf of
  // an entry be found by binary search with the same answer as a scan.
  std::vector<Long> LeafReach;
  // The first and the last key of each leaf as the walk read them: leaf k's
  // first key at LeafKeys[2 * k * KeyLength], its last key right after it
  // (element 0 unused, as in LeafTable), so that a seek finds its leaf by a
  // binary search in memory and reads that leaf alone.  Two keys a leaf: the
  // memory grows with the leaves, not the entries (KeyLength bytes twice
  // for each leaf of some dozens of entries).  LeafKeysRead[k] is 0 where
  // the walk could not read them (a leaf that is no
  // sound leaf, whose entries are not counted as the leaf table counts
  // them), 1 where they were, and 2 for a sound leaf with no entries.
  std::vector<unsigned char> LeafKeys;
  std::vector<unsigned char> LeafKeysRead;
  // Whether the keys of every leaf read rise through the whole tree
  // (LeavesRise, KeySeek.h): -1 until the first seek after the walk learns
  // it, 0 no, 1 yes.  No seek is answered over a tree where they do not.
  signed char KeysRise = -1;
  // Whether the leading part of every key is digits across its width or
  // blanks alone: -1 when the walk was not asked to learn it
  // (BuildReferenceInformation), 0 no, 1 yes.
  signed char LeadingDigits = -1;
  // The same of the second part (0 for a key of one part), learnt with it.
  signed char SecondDigits = -1;
  // For each key part, how a descending part is stored, as learnt from the
  // tree when the reference information is built (KeyOrder.h).
  std::vector<PartStorage> KeyPartStorage;
  // Whether the keys can be compared with their records; learnt at the first
  // read of records after the reference information is built.
  KeyRecordCheck KeyRecords = KeyRecordCheck::Unknown;
  // The identities of the four files the leaf table was built from, when the
  // front end that opened the set took them (FileIdentity.h).
  SetIdentity FilesRead;
  bool FilesKnown = false;
  // The record window has told that the files changed since FilesRead.
  bool FilesChangeTold = false;
  // How the walk that built the leaf table went.
  WalkResult Walk;

  // Record window.
  double StartRecord = 0.0;
  double FirstShown = 0.0;
  double LastRead = 0.0;
  Long EntryCounter = 0;
  Integer WindowLines = 0;
  std::string WindowText;
  std::string RecordLine;
  char RecordFlag = ' ';
  bool WindowIdle = false;
  bool DatOpen = false;
  bool IdxOpen = false;

  // Sections and commands.
  Long SectionCount = 0;
  Long Section = 0;
  std::string SectionEntry;
  Integer PrintPhase = 0;
  std::string VersionText;
  Integer TwipsPerPixelX = 0;
  Integer TwipsPerPixelY = 0;
};

// Sets what the contents screen's load sets before anything reads it: the
// three text constants, the window size of 21 lines and the idle flag.
void SetTextConstants(SharedState& state);

}  // namespace ondrel
