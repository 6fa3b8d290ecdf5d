// The texts and titles of the message boxes the database routines and the
// record window show.  Users know them word for word, two blanks after a full
// stop included.
#pragma once

#include <cstdint>
#include <string>

namespace ondrel::msg {

inline constexpr const char* kIncompleteBefore =
    "The runtime database is incomplete.  You are missing all or part of ";
inline constexpr const char* kIncompleteAfter = ".  You need to create or restore the database.";
inline constexpr const char* kIncompleteTitle = "OOPS!  I'm not all present.";

inline constexpr const char* kNoDefinition =
    "Sorry, the file you selected has no associated definition.  Perhaps it is not a "
    "user-defined file.";
inline constexpr const char* kNoDefinitionTitle = "OOPS!";

inline constexpr const char* kProfileTitle = "FileOpen";

inline constexpr const char* kCoarse =
    "An error has been encountered in navigating through the D-ISAM coarse tables.  This simply "
    "means that your Profiles are sick or that there is something that Vesk does not understand "
    "about the secrets of D-ISAM.";
inline constexpr const char* kCoarseTitle = "OOPS! Houston, we have a coarse problem. . .";

inline constexpr const char* kFine =
    "An error has been encountered in navigating through the D-ISAM fine tables.  This simply "
    "means that your Profiles are sick or that there is something that Vesk does not understand "
    "about the secrets of D-ISAM.";
inline constexpr const char* kFineTitle = "OOPS! Houston, we have a fine problem. . .";

// The one message that ends a walk of a tree damaged all over, under the
// coarse-tables title.
inline std::string WalkStopped(const std::string& indexPath, int failures, std::int64_t skipped) {
  return "The index file " + indexPath + " is damaged.  Building the reference information stopped after " +
         std::to_string(failures) + " errors and left " + std::to_string(skipped) +
         (skipped == 1 ? " branch" : " branches") + " of the tree unread: the records under " +
         (skipped == 1 ? "it" : "them") + " are not shown.";
}

}  // namespace ondrel::msg
