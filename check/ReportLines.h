// The items of a check (CheckReport.h) as lines of text, or as JSON, one
// object a line, with the ISPEC and profile each belongs to and, for a
// problem, its kind and the entry number, node and record number wherever
// the text names them:
//
//   {"type":"problem","ispec":"ORD","profile":"ORDNO","kind":"key-order",
//    "entry":12,"node":5,"record":12,"text":"Entry 12 (node 5, ..."}
//   {"type":"warning","ispec":"ORD","profile":"ORDNO","kind":"purged",...}
//   {"type":"unjudged","ispec":"ORD","profile":"ORDNO","text":"The ..."}
//   {"type":"summary","ispec":"ORD","profile":"ORDNO","entries":300,...}
//
// A count's member is its name in small letters with "_" for each space
// ("not judged": "not_judged").  The JSON escaping is written here, since a
// line of a few string and number members needs no library.
#pragma once

#include <string>
#include <vector>

#include "check/CheckReport.h"

namespace ondrel::check {

// One item as a line of text or of JSON, with its line feed.
std::string TextLine(const ReportItem& item);
std::string JsonLine(const ReportItem& item);

// The items as the text lines above, one after another.
std::string TextLines(const std::vector<ReportItem>& items);

// One sentence on the outcome of a check into `report`: what it found, or
// that it was cancelled (`finished` false) before the end.
std::string Verdict(const CheckReport& report, bool finished);

// `text` as a JSON string, quotes included.  Bytes that are no valid UTF-8
// (a path given in another encoding) are written as the Latin-1 character of
// the same number.
std::string JsonString(const std::string& text);

}  // namespace ondrel::check
