// The planner of the profile table: which constraints, orderings, OFFSET
// and LIMIT a scan takes itself (BestIndex), the plan string that carries
// them to the scan, and what the scan makes of their values.
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT3

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "database/IndexWalk.h"
#include "sql/ProfileScan.h"
#include "sql/ProfileTable.h"

namespace ondrel::sql {

// The plan travels to Filter in idxStr, one letter per argument in argv
// order, and in idxNum, whose bit 0 says whether records are read at all
// and bit 1 whether the stored keys are asked for:
//
//   D I P   the function's dir, ispec and profile (equality only, exact)
//   = > ] < [   entry_number (or rowid) =, >, >=, <, <=
//   O M     OFFSET and LIMIT
//   l L     the leading ordinate's lower bound, > and >=
//   u U     its upper bound, < and <=
//   e       its value (=): the bounds are used through the key seek
//           (KeyBounds) and tested by SQLite too
//   q g G h H   the same (=, >, >=, <, <=) of the second ordinate, used
//           only behind an equality that pins the leading part
//
// kReadRecords (ProfileTable.h) is that bit.  After the argument letters
// come kBackward and kOrderChecked when an ORDER BY is taken in the tree's
// order.

namespace {

bool IsEntryColumn(const ProfileTable& table, int column) {
  return column == -1 || (column >= 0 && table.roles[static_cast<std::size_t>(column)] == Role::EntryNumber);
}

// Whether the tree's keys are all digits or blanks in their leading part
// (DigitKeys): then a numeric leading column's SQL order is the tree's, and
// its constraints can be sought.  The named table is prepared here for that,
// as its first scan would be (the walk learns it); a profile that cannot be
// prepared now, or the function form, whose files are not known yet, is
// left to SQLite.
// `second` asks the same of the second parts (SecondDigitKeys).
bool DigitTree(sqlite3_vtab* vtab, bool second = false) {
  auto& table = *reinterpret_cast<ProfileTable*>(vtab);
  if (!table.named) return false;
  std::string problem;
  Failure kind = Failure::Other;
  const std::shared_ptr<const Prepared> prepared = PreparedFor(table, table.dir, table.ispec, table.profile, problem, kind);
  return prepared && (second ? SecondDigitKeys(*prepared) : DigitKeys(*prepared));
}

// Whether constraint i may be sought through the key with BINARY collation.
bool Binary(sqlite3_index_info* info, int i) {
  return std::strcmp(sqlite3_vtab_collation(info, i), "BINARY") == 0;
}

// Whether the ordered column's SQL order can be the tree's: always for
// text (the scan checks it); for a number only on a tree of digit keys.
bool NumberOrderHolds(sqlite3_vtab* vtab) {
  auto& table = *reinterpret_cast<ProfileTable*>(vtab);
  return table.columns[static_cast<std::size_t>(table.ordered)].type == ColumnType::Text || DigitTree(vtab);
}

}  // namespace

int BestIndex(sqlite3_vtab* vtab, sqlite3_index_info* info) {
  const ProfileTable& table = *reinterpret_cast<ProfileTable*>(vtab);
  std::string plan;
  int argument = 0;
  bool arguments[3] = {false, false, false};
  bool allConsumed = true;  // every constraint is handled here, exactly
  bool equality = false;
  int bounds = 0;
  int keyBounds = 0;  // constraints on the leading ordinate given to the seek
  int secondBounds = 0;  // and on the second
  int digits = -1;    // DigitTree, once asked
  int secondDigits = -1;
  int offsetAt = -1, limitAt = -1;
  // The second ordinate is sought only behind an equality on the leading
  // one; whether that pins the leading part is for the scan to see.
  bool leadingEquality = false;
  for (int i = 0; i < info->nConstraint; ++i) {
    const auto& c = info->aConstraint[i];
    if (c.usable && c.iColumn >= 0 && c.iColumn == table.leading && c.op == SQLITE_INDEX_CONSTRAINT_EQ &&
        Binary(info, i))
      leadingEquality = true;
  }

  for (int i = 0; i < info->nConstraint; ++i) {
    const auto& c = info->aConstraint[i];
    const int op = c.op;
    // LIMIT and OFFSET come unusable when SQLite plans an IN as one scan per
    // value: each scan then holds only part of the result, and SQLite counts
    // the rows itself.
    if (op == SQLITE_INDEX_CONSTRAINT_LIMIT) {
      if (c.usable) limitAt = i;
      continue;
    }
    if (op == SQLITE_INDEX_CONSTRAINT_OFFSET) {
      if (c.usable) offsetAt = i;
      continue;
    }
    const Role role = c.iColumn >= 0 ? table.roles[static_cast<std::size_t>(c.iColumn)] : Role::EntryNumber;
    if (role == Role::Dir || role == Role::Ispec || role == Role::Profile) {
      // The function's arguments: without all three there is no plan.
      if (op != SQLITE_INDEX_CONSTRAINT_EQ) {
        allConsumed = false;
        continue;
      }
      if (!c.usable) return SQLITE_CONSTRAINT;
      const int which = role == Role::Dir ? 0 : role == Role::Ispec ? 1 : 2;
      if (arguments[which]) continue;  // given twice: SQLite tests the second
      arguments[which] = true;
      info->aConstraintUsage[i].argvIndex = ++argument;
      info->aConstraintUsage[i].omit = 1;
      plan += "DIP"[which];
      continue;
    }
    // entry_number: its rows are a run of entry numbers, found in the leaf
    // table in O(log n) and read from there.  The bounds are exact, so
    // SQLite need not test them again.
    if (IsEntryColumn(table, c.iColumn) && c.usable) {
      char letter = 0;
      switch (op) {
        case SQLITE_INDEX_CONSTRAINT_EQ: letter = '='; equality = true; break;
        case SQLITE_INDEX_CONSTRAINT_GT: letter = '>'; break;
        case SQLITE_INDEX_CONSTRAINT_GE: letter = ']'; break;
        case SQLITE_INDEX_CONSTRAINT_LT: letter = '<'; break;
        case SQLITE_INDEX_CONSTRAINT_LE: letter = '['; break;
        default: break;
      }
      if (letter) {
        ++bounds;
        info->aConstraintUsage[i].argvIndex = ++argument;
        info->aConstraintUsage[i].omit = 1;
        plan += letter;
        continue;
      }
    }
    // The leading ordinate: a start and an end found by the key seek, a
    // binary search in memory and a leaf read.  For text only when compared
    // byte by byte (a collation such as NOCASE orders otherwise), for a
    // number only on a tree of digit keys; and never omitted: the seek only
    // narrows what is read, SQLite decides what passes.
    const bool seekable = c.iColumn >= 0 && c.usable &&
                          ((c.iColumn == table.leading && Binary(info, i)) ||
                           (c.iColumn == table.numeric && (digits < 0 ? (digits = DigitTree(vtab)) : digits) == 1));
    const bool secondSeekable =
        !seekable && leadingEquality && c.iColumn >= 0 && c.usable && c.iColumn == table.second &&
        (table.secondNumeric ? (secondDigits < 0 ? (secondDigits = DigitTree(vtab, true)) : secondDigits) == 1
                             : Binary(info, i));
    if (seekable || secondSeekable) {
      const char* letters = seekable ? "elLuU" : "qgGhH";
      const int which = op == SQLITE_INDEX_CONSTRAINT_EQ   ? 0
                        : op == SQLITE_INDEX_CONSTRAINT_GT ? 1
                        : op == SQLITE_INDEX_CONSTRAINT_GE ? 2
                        : op == SQLITE_INDEX_CONSTRAINT_LT ? 3
                        : op == SQLITE_INDEX_CONSTRAINT_LE ? 4
                                                           : -1;
      if (which >= 0) {
        if (seekable) keyBounds += which == 0 ? 2 : 1;
        else secondBounds += which == 0 ? 2 : 1;
        info->aConstraintUsage[i].argvIndex = ++argument;
        plan += letters[which];
      }
    }
    allConsumed = false;
  }
  if (!table.named && !(arguments[0] && arguments[1] && arguments[2])) return SQLITE_CONSTRAINT;

  // Rows come in key order, which is entry-number order: ORDER BY the entry
  // number is the walk forwards, or backwards when descending.  ORDER BY the
  // ordered column (OrderedColumn) is the same walk, each row checked to
  // come in SQL's order.
  bool ordered = true;  // by entry number ascending, or no ORDER BY
  std::string walk;     // the letters of a walk that gives another ORDER BY
  for (int i = 0; i < info->nOrderBy; ++i)
    if (!IsEntryColumn(table, info->aOrderBy[i].iColumn) || info->aOrderBy[i].desc) ordered = false;
  if (info->nOrderBy > 0 && ordered) info->orderByConsumed = 1;
  if (info->nOrderBy == 1 && !ordered) {
    const auto& term = info->aOrderBy[0];
    if (IsEntryColumn(table, term.iColumn)) walk = std::string(1, kBackward);
    else if (table.ordered >= 0 && term.iColumn == table.ordered && NumberOrderHolds(vtab))
      walk = term.desc ? std::string{kBackward, kOrderChecked} : std::string(1, kOrderChecked);
    if (!walk.empty()) info->orderByConsumed = 1;
  }

  // OFFSET and LIMIT are taken only when the rows this scan returns are the
  // rows of the result, in its order: every other constraint handled here
  // and no ORDER BY left for SQLite to sort by.  OFFSET then becomes a start
  // entry found in O(log n), not rows read and dropped.  Not under an ORDER
  // BY the rows are checked for: the rows skipped would be rows not checked.
  if (allConsumed && ordered) {
    if (offsetAt >= 0) {
      info->aConstraintUsage[offsetAt].argvIndex = ++argument;
      info->aConstraintUsage[offsetAt].omit = 1;
      plan += 'O';
    }
    if (limitAt >= 0) {
      info->aConstraintUsage[limitAt].argvIndex = ++argument;
      info->aConstraintUsage[limitAt].omit = 1;
      plan += 'M';
    }
  }
  plan += walk;

  // Records are read only when a column needs them: a count, or a list of
  // entry and record numbers, reads the leaves alone.
  bool records = false;
  bool keys = false;
  for (std::size_t column = 0; column < table.roles.size(); ++column) {
    const Role role = table.roles[column];
    const bool used = column >= 63 ? (info->colUsed & (1ULL << 63)) != 0 : (info->colUsed & (1ULL << column)) != 0;
    if (used && role == Role::StoredKey) keys = true;
    if (role != Role::Field && role != Role::Purged && role != Role::Shown && role != Role::FieldsJson) continue;
    if (used) records = true;
  }
  if (walk.find(kOrderChecked) != std::string::npos) records = true;  // the check reads the ordered field
  info->idxNum = (records ? kReadRecords : 0) | (keys ? kReadKeys : 0);
  info->idxStr = sqlite3_mprintf("%s", plan.c_str());
  info->needToFreeIdxStr = 1;

  // Costs, in entries read, from the entries the walk counted when a scan
  // has walked the tree, else from the records the index header counts.
  // Equality on the entry number reads one leaf; a range a part.  A seek on
  // the leading ordinate costs its binary search over the leaves besides the
  // rows: one bound leaves a part of the profile, two a small run, an
  // equality a few rows (keys are mostly unique; SQLite tests the rest).
  const std::shared_ptr<const Prepared> prepared = table.prepared;
  double entries = 1e6;  // nothing known: the function form before its first scan
  if (prepared) entries = std::max<double>(1, EntryCount(prepared->state));
  else if (table.headerRecords > 0) entries = static_cast<double>(table.headerRecords);
  double rows = entries;
  if (equality) {
    rows = 1;
    info->idxFlags |= SQLITE_INDEX_SCAN_UNIQUE;
  } else if (bounds > 0) {
    rows = bounds >= 2 ? std::min(entries, 1e3) : entries / 4;
  }
  double seekCost = 0;
  if (keyBounds > 0) {
    const double leaves = prepared ? static_cast<double>(std::max<std::size_t>(prepared->state.LeafTable.size(), 2) - 1)
                                   : std::max(1.0, entries / 20);
    seekCost = std::log2(leaves + 1) + 1;
    const bool point = plan.find('e') != std::string::npos;
    rows = std::min(rows, point ? 2.0 : keyBounds >= 2 ? std::max(1.0, entries / 100) : entries / 4);
    // An equality on the second ordinate behind it: one row, as a unique key.
    if (point && secondBounds >= 2) rows = 1;
  }
  if (plan.find('M') != std::string::npos) rows = std::min(rows, 100.0);
  rows = std::max(rows, 1.0);
  info->estimatedRows = static_cast<sqlite3_int64>(rows);
  info->estimatedCost = rows * (records ? 4.0 : 1.0) + seekCost + 20;
  return SQLITE_OK;
}

// The part of a constraint's text the seek can use: its characters up to the
// first one outside "!" to "~" (a blank, a control character, anything
// beyond ASCII), at most as long as the key part.
//
// Why that is safe: on those characters the UTF-8 of a value and its stored
// bytes are the same bytes.  Take p such a prefix of v.  A value x >= v in
// SQL either begins with p, and its stored key then begins with p, or first
// differs from p at a character above p's, which in the stored key is the
// same byte or a byte from 0x80 up: in both cases the key is at or after p.
// So no entry before the first key at or after p can pass "x >= v" (nor
// "x > v", nor "x = v").  The same argument turned round: a key whose first
// |p| bytes come after p holds a value above every text that begins with p,
// so once keys pass p (taken from the upper bound), no later row can pass
// "x <= v", "x < v" or "x = v".  Both lean on the index keys holding the
// records' bytes, which is learnt from the tree when it is prepared
// (KeyRecord.h): the plan may name the seek, the scan takes it only then.
std::string SeekPrefix(sqlite3_value* value, int partLength) {
  if (sqlite3_value_type(value) != SQLITE_TEXT) return "";  // a number compares as text only after affinity
  const unsigned char* text = sqlite3_value_text(value);
  std::string prefix;
  for (; text && *text >= '!' && *text <= '~' && static_cast<int>(prefix.size()) < partLength; ++text)
    prefix += static_cast<char>(*text);
  return prefix;
}

// One constraint on the leading text ordinate as KeyBounds, the tightest of
// all taken.  A bound p from SeekPrefix becomes p padded with NUL bytes to
// the part's length, which lies at or before every key that begins with p:
// `from` is the greatest of them, and `past`, from p with its last character
// one higher (no key that begins with p lies at or after it, and every key
// whose first |p| bytes come after p does), the least.  An equality whose
// value is printable ASCII (blanks inside it too) and ends in no blank is
// the value padded with blanks, as the field stores it: the UTF-8 of ASCII
// is its bytes, and SQL's value, the stored bytes without trailing blanks,
// is that value exactly when the stored bytes are the value and blanks.
// So an equality reads only the entries that hold it.  (A range cannot take
// the blanks: a blank that ends SQL's value sorts after a control character
// in the tree and before it in SQL.)
void TextBound(char op, sqlite3_value* value, int partLength, KeyBounds& bounds) {
  if (partLength <= 0) return;
  const auto length = static_cast<std::size_t>(partLength);
  std::string prefix = SeekPrefix(value, partLength);
  bool whole = false;
  if (op == 'e' && sqlite3_value_type(value) == SQLITE_TEXT) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
    const std::string all = text ? std::string(text, static_cast<std::size_t>(sqlite3_value_bytes(value))) : "";
    whole = !all.empty() && all.size() <= length && all.back() != ' ' &&
            std::all_of(all.begin(), all.end(), [](char c) { return c >= ' ' && c <= '~'; });
    if (whole) prefix = all;
  }
  if (whole) bounds.exact = prefix + std::string(length - prefix.size(), ' ');
  if (prefix.empty()) return;
  std::string low = prefix;
  if (whole) low.append(length - low.size(), ' ');
  std::string high = low;
  high.back() = static_cast<char>(high.back() + 1);  // SeekPrefix's characters lie below 0x7F
  low.append(length - low.size(), '\0');
  high.append(length - high.size(), '\0');
  if (op != 'u' && op != 'U' && low > bounds.from) bounds.from = low;
  if (op != 'l' && op != 'L' && (bounds.past.empty() || high < bounds.past)) bounds.past = high;
}

// The stored values a numeric column of `width` digits can hold.
NumberRange NumberBoundsStart(int width) {
  NumberRange range;
  std::int64_t top = 1;
  for (int i = 0; i < width && i < 18; ++i) top *= 10;
  range.high = top - 1;
  return range;
}

// Narrows the stored values a row may hold by one comparison with a value,
// as SQL compares a number with it: a NULL passes nothing, and neither does
// a NULL column (a blank key, before every digit key in the tree); text and
// blobs are compared after the column's affinity, which may make them
// numbers, and narrow nothing.  Values lie from -1 to one past the top
// before they are rounded, so that nothing overflows.
void NumericBound(char op, sqlite3_value* value, NumberRange& range) {
  const int type = sqlite3_value_type(value);
  if (type == SQLITE_NULL) {
    range.none = true;
    range.narrowed = true;
    return;
  }
  if (type != SQLITE_INTEGER && type != SQLITE_FLOAT) return;
  const std::int64_t beyond = range.high + 1;
  std::int64_t below = 0;  // the greatest whole number at or below the value
  std::int64_t above = 0;  // the least at or above it
  if (type == SQLITE_INTEGER) {
    below = above = std::clamp<std::int64_t>(sqlite3_value_int64(value), -1, beyond);
  } else {
    const double real = sqlite3_value_double(value);
    if (std::isnan(real)) return;
    if (op == 'e' && real != std::floor(real)) range.none = true;
    const double kept = std::clamp(real, -1.0, static_cast<double>(beyond));
    below = static_cast<std::int64_t>(std::floor(kept));
    above = static_cast<std::int64_t>(std::ceil(kept));
  }
  range.narrowed = true;
  switch (op) {
    case 'l': range.low = std::max(range.low, below + 1); break;
    case 'L': range.low = std::max(range.low, above); break;
    case 'u': range.high = std::min(range.high, above - 1); break;
    case 'U': range.high = std::min(range.high, below); break;
    case 'e':
      range.low = std::max(range.low, above);
      range.high = std::min(range.high, below);
      break;
    default: break;
  }
}

// The range as KeyBounds: the values written as the tree stores them, the
// field's width of digits with zeros in front.  The lower bound is there
// whenever a constraint was taken, since the blank keys before "000..." are
// NULL and pass no comparison.
KeyBounds NumberBounds(const NumberRange& range, int width) {
  KeyBounds bounds;
  bounds.numeric = true;
  if (!range.narrowed) return bounds;
  if (range.none || range.low > range.high) {
    bounds.none = true;
    return bounds;
  }
  auto stored = [width](std::int64_t v) {
    std::string text = std::to_string(v);
    return std::string(static_cast<std::size_t>(width) - std::min(text.size(), static_cast<std::size_t>(width)), '0') + text;
  };
  bounds.from = stored(range.low);
  const NumberRange whole = NumberBoundsStart(width);
  if (range.high < whole.high) bounds.past = stored(range.high + 1);
  return bounds;
}

// Narrows [first, last] by one comparison of the entry number with a value,
// as SQL would compare an INTEGER column with it: a number by its value
// (a real one rounded the right way), NULL matching nothing, and text or a
// blob, which sort after every number, matching all or nothing.
void Narrow(char op, sqlite3_value* value, std::int64_t& first, std::int64_t& last) {
  const int type = sqlite3_value_numeric_type(value);
  if (type == SQLITE_NULL) {
    last = 0;
    return;
  }
  if (type == SQLITE_TEXT || type == SQLITE_BLOB) {
    if (op == '=' || op == '>' || op == ']') last = 0;
    return;
  }
  const double real = sqlite3_value_double(value);
  const bool whole = type == SQLITE_INTEGER;
  const std::int64_t n = sqlite3_value_int64(value);
  auto atLeast = [&](double bound) {  // entries >= bound
    if (bound > 9.0e18) last = 0;
    else if (bound > -9.0e18) first = std::max<std::int64_t>(first, static_cast<std::int64_t>(std::ceil(bound)));
  };
  auto atMost = [&](double bound) {  // entries <= bound
    if (bound < -9.0e18) last = 0;
    else if (bound < 9.0e18) last = std::min<std::int64_t>(last, static_cast<std::int64_t>(std::floor(bound)));
  };
  switch (op) {
    case '=':
      if (whole) {
        first = std::max(first, n);
        last = std::min(last, n);
      } else if (real != std::floor(real)) {
        last = 0;
      } else {
        atLeast(real);
        atMost(real);
      }
      break;
    case '>':
      if (!whole) {
        atLeast(std::floor(real) + 1);
      } else if (n == kNoBound) {
        last = 0;
      } else {
        first = std::max(first, n + 1);
      }
      break;
    case ']':
      if (whole) first = std::max(first, n);
      else atLeast(real);
      break;
    case '<':
      if (!whole) {
        atMost(std::ceil(real) - 1);
      } else if (n <= 1) {
        last = 0;  // no entry number lies below 1
      } else {
        last = std::min(last, n - 1);
      }
      break;
    case '[':
      if (whole) last = std::min(last, n);
      else atMost(real);
      break;
    default: break;
  }
}

}  // namespace ondrel::sql
