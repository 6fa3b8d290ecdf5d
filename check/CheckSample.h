// What the check learns from a sample of a tree before it walks it: how the
// descending parts of the key are stored, and whether the stored keys are
// made of the ordinate fields at all.
//
// The sample is up to kSampleLeaves leaves spread over the tree, found by
// descending from the root once for each: the s-th descent takes, at each
// interior node, the child at the fraction (s + 1/2) / kSampleLeaves of the
// remaining range, so the leaves found lie evenly over a balanced tree.  A
// descent stops at anything a sound tree does not hold (a node outside the
// file, a level that does not fall by one); the sample then has fewer
// leaves.  It costs kSampleLeaves descents, a few hundred node reads, and the
// records of the sampled entries read in one batch.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "database/ByteFile.h"
#include "database/SharedState.h"
#include "check/CheckKeys.h"
#include "check/CheckReport.h"

namespace ondrel::check {

inline constexpr int kSampleLeaves = 64;

// The node numbers of the sampled leaves in key order, each once.
std::vector<std::uint32_t> SampleLeaves(const SharedState& state, ByteFile& index, std::int64_t nodeCount);

// Learns KeyPartStorage from the order of the sampled leaves' keys
// (LearnPartStorage: where neighbouring keys first differ in a descending
// part, rising stored bytes mean inverted storage, falling ones plain).
void LearnStorage(SharedState& state, ByteFile& index, const std::vector<std::uint32_t>& leaves);

// Learns from the sampled entries the form each part of `layout` is stored
// in (as written, in capitals, inverted; see the .cpp), and sets it in
// `layout` and, for a descending part, in KeyPartStorage.  A part whose form
// cannot be learnt is left out and reported as not judged; a profile whose
// sampled keys mostly disagree with their records is a problem.
void ProveParts(KeyFields& layout, SharedState& state, ByteFile& index, ByteFile& data,
                const std::vector<std::uint32_t>& leaves, std::int64_t dataRecords, CheckReport& report);

}  // namespace ondrel::check
