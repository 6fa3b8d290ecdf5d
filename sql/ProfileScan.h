// One scan of the profile table, and what every scan starts from.
#pragma once

#include <sqlite3ext.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "database/ByteFile.h"
#include "database/EntryAt.h"
#include "database/FineProblems.h"
#include "database/KeyOrder.h"
#include "database/KeyRecord.h"
#include "database/KeySeek.h"
#include "database/LoadingPlatform.h"
#include "database/RecordStream.h"
#include "sql/ProfileSource.h"
#include "sql/ProfileTable.h"
#include "sql/RecordColumns.h"

namespace ondrel::sql {

// The index and data files of a cursor's scans, kept open from one scan to
// the next while the profile they were opened for is the same.
struct ScanFiles {
  ByteFile index;
  ByteFile data;
  std::shared_ptr<const Prepared> of;
};

// One scan: the stream and the row on hand.
class Scan {
 public:
  // `bounds` narrow the run to the keys between them (KeyBounds), when the
  // tree's keys are their records' bytes (and, for numeric bounds, digits):
  // two seeks, one for each end.
  //
  // `backward`: the entries from the last of the run to the first.
  // `checked`, when not -1, is the ordered column (OrderedColumn): every row
  // returned is checked to come in SQL's order of it, ascending when the
  // walk goes forwards, descending when it goes backwards, and the scan
  // fails rather than return a row out of that order.
  // `keys`: the rows' stored keys are asked for (Row().entry.Key); without
  // it a row read whole may come without its key.
  Scan(ScanFiles& files, std::shared_ptr<const Prepared> prepared, bool records, std::int64_t first,
       std::int64_t last, const KeyBounds& bounds, bool backward = false, int checked = -1, bool keys = true);

  // The next row; false on a problem, whose message Error() gives.
  bool Advance();

  bool Ended() const { return ended_; }
  // Whether the files are no longer those the scan started from: the rows
  // given may mix two states of them.  Looked at after every batch, after
  // every record read on its own, and at the end.
  bool Changed();
  // The same at the end of the scan.
  bool ChangedAtEnd();
  std::string Error() const;
  int ErrorCode() const;
  const StreamRow& Row() const { return row_; }
  RecordFields& Fields() { return fields_; }
  const Prepared& Source() const { return *prepared_; }

 private:
  // A file of the set that the system would not open now (too many open
  // files, say): no damage, and told as what it is.
  void Refused(const std::string& path);
  // The next entry of a backward walk and its record.
  bool AdvanceBackward();
  // Reads the next entries of a backward walk, and their records, ahead.
  bool FillBehind();
  // The last entry from `number` on, going by `step`, whose key part is
  // `key` (entries with equal parts lie together).
  std::int64_t RunEnd(std::int64_t number, std::int64_t step, std::string_view key);
  // The record of the row on hand read and checked against its key.
  bool TakeRecord();
  // Whether the row on hand keeps SQL's order of the checked column.
  bool InOrder();
  bool NumberInOrder(const FieldColumn& column, bool unread, std::string_view stored);

  std::shared_ptr<const Prepared> prepared_;
  const SharedState& state_;
  ByteFile& index_;
  ByteFile& data_;
  LoadingPlatform platform_;
  KeyOrder order_;
  KeyFields keys_;
  bool compare_;
  FineProblems problems_;
  RecordStream stream_;
  RecordFields fields_;
  bool records_;
  std::int64_t first_;
  std::int64_t last_;
  bool ended_ = false;
  StreamRow row_;
  std::uint64_t checkedBatches_ = 0;  // the stream's batches looked at
  bool changed_ = false;
  // Bytes were read since the files were last looked at: records read field
  // by field as their columns are asked for, or the entries beside a row.
  bool readSinceCheck_ = true;
  std::string refused_;
  // The backward walk: the next entry it reads, and the key of the one it
  // read last, which no earlier entry may follow in the tree's order.  It
  // reads a batch of entries and their records ahead (`behind_`, their keys
  // and slots one after another) and looks at the files once for the
  // batch, as the forward stream does; batches grow from a few rows, so a
  // page reads about its rows.
  bool backward_;
  EntryAt walk_;
  std::int64_t next_ = 0;
  std::string laterKey_;
  std::vector<TreeEntry> behind_;
  std::vector<unsigned char> behindKeys_;
  std::vector<char> behindSlots_;
  std::vector<unsigned char> behindWhole_;  // whether each slot was read whole
  std::size_t behindAt_ = 0;
  std::size_t behindBatch_ = 8;
  // The order check: the column, SQL's value of it in the row returned
  // before (NULL when `previousNull`), and the entry at which the order
  // broke (0 while it holds).
  int checked_;
  bool keysInspectedOnly_;  // the forward stream's rows read whole come without keys, compared already
  bool hasPrevious_ = false;
  bool previousNull_ = false;
  std::string previous_;
  long double previousNumber_ = 0;  // SQL's value of a numeric column
  std::string previousKey_;  // that row's key part, for ties
  EntryAt peek_;             // the entries beside the row, for the check
  std::int64_t broken_ = 0;
  std::string brokenWhy_;
};

struct ProfileCursor {
  sqlite3_vtab_cursor base{};
  std::unique_ptr<ScanFiles> files = std::make_unique<ScanFiles>();  // declared before the scan, which reads them
  std::unique_ptr<Scan> scan;
  std::string dir, ispec, profile;  // the arguments of this scan
  std::string text;                 // scratch for a text value
};

// Whether every key of the prepared tree holds in its leading part digits
// across the part's whole width, or blanks alone: then the stored order of a
// numeric ordered column is SQL's (blanks are NULL, first in both).  The
// walk learns it (LeadingDigits), reading the leaves it reads anyway; false
// when a leaf could not be read.
inline bool DigitKeys(const Prepared& prepared) { return prepared.state.LeadingDigits == 1; }
// The same of the second key part (SecondDigits).  The walk learns it with
// the leading part's, for a numeric leading field; for any other it is
// learnt here the first time a plan asks (one more read of every leaf), so
// that a profile no query seeks that way costs its walk alone.
inline bool SecondDigitKeys(const Prepared& prepared) {
  if (prepared.state.SecondDigits >= 0) return prepared.state.SecondDigits == 1;
  if (prepared.secondDigits < 0) prepared.secondDigits = LearnSecondDigits(prepared.state) ? 1 : 0;
  return prepared.secondDigits == 1;
}

// The prepared profile for these arguments: the table's own while its files
// are as they were, else a new one, kept for the next scan.  Null when the
// profile cannot be prepared: `problem` then says why, and `kind` what kind
// of failure it is.  Without `look`, the table's own is taken without
// looking at the files: for a scan, which looks at them after it reads.
std::shared_ptr<const Prepared> PreparedFor(ProfileTable& table, const std::string& dir, const std::string& ispec,
                                            const std::string& profile, std::string& problem, Failure& kind,
                                            bool look = true);

}  // namespace ondrel::sql
