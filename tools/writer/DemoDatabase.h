#pragma once

// The demo database shipped with the build: a small customer file with
// two profiles of different key orders, hidden fields, a decimal field and
// purged records, and an order file large enough to need several sections.

#include <filesystem>
#include <vector>

#include "tools/writer/IspecBuilder.h"

namespace ondrel::writer {

inline constexpr int kDemoCustomers = 480;
inline constexpr int kDemoOrders = 75000;

// Writes the demo file sets into `dir` (created if missing).  The content is
// the same on every run.  Returns the layout of each ISPEC (CUSTOMER, ORDERS,
// PRODUCT).
std::vector<IspecLayout> BuildDemoDatabase(const std::filesystem::path& dir);

}  // namespace ondrel::writer
