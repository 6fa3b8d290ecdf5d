#include "database/ReadAhead.h"

#include <algorithm>
#if ONDREL_READ_AHEAD_THREAD
#include <system_error>
#endif


namespace ondrel {

ReadAhead::ReadAhead(const ByteFile& file, std::int64_t offset, std::int64_t length, std::size_t pieceBytes)
    : file_(file),
      offset_(offset),
      length_(std::max<std::int64_t>(0, length)),
      pieceBytes_(std::max<std::size_t>(1, pieceBytes)),
      pieces_((length_ + static_cast<std::int64_t>(pieceBytes_) - 1) / static_cast<std::int64_t>(pieceBytes_)) {
  const std::size_t bufferBytes = static_cast<std::size_t>(std::min<std::int64_t>(length_, static_cast<std::int64_t>(pieceBytes_)));
  for (auto& buffer : buffers_) buffer = NewPageBuffer<char>(std::max<std::size_t>(1, bufferBytes));
#if ONDREL_READ_AHEAD_THREAD
  if (pieces_ <= 1) return;  // one piece: nothing to overlap
  try {
    thread_ = std::thread([this] { Run(); });
    threaded_ = true;
  } catch (const std::system_error&) {
    threaded_ = false;  // read on the caller's thread
  }
#endif
}

ReadAhead::~ReadAhead() {
#if ONDREL_READ_AHEAD_THREAD
  if (!threaded_) return;
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
#endif
}

std::size_t ReadAhead::SizeOf(std::int64_t piece) const {
  const std::int64_t start = piece * static_cast<std::int64_t>(pieceBytes_);
  return static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(pieceBytes_), length_ - start));
}

bool ReadAhead::ReadPiece(std::int64_t piece, char* into) const {
  return file_.ReadUncached(offset_ + piece * static_cast<std::int64_t>(pieceBytes_) + 1, into, SizeOf(piece));
}

#if ONDREL_READ_AHEAD_THREAD
void ReadAhead::Run() {
  for (std::int64_t piece = 0; piece < pieces_; ++piece) {
    {
      // The buffer of this piece is free once the caller has asked for the
      // piece after the one it last held there.
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return stop_ || piece - handedOut_ < kBuffers - 1; });
      if (stop_) return;
    }
    const int slot = static_cast<int>(piece % kBuffers);
    const bool read = ReadPiece(piece, buffers_[static_cast<std::size_t>(slot)].get());
    {
      std::lock_guard lock(mutex_);
      read_[static_cast<std::size_t>(slot)] = read;
      produced_ = piece + 1;
    }
    changed_.notify_all();
    if (!read) return;
  }
}
#endif

ReadAhead::Piece ReadAhead::Next() {
  Piece piece;
  if (handedOut_ >= pieces_) {
    piece.size = 0;
    return piece;
  }
  const std::int64_t number = handedOut_;
  const int slot = static_cast<int>(number % kBuffers);
  bool read = true;
#if ONDREL_READ_AHEAD_THREAD
  if (threaded_) {
    std::unique_lock lock(mutex_);
    // Asking for this piece gives back the one handed out before.
    changed_.wait(lock, [&] { return produced_ > number; });
    read = read_[static_cast<std::size_t>(slot)];
    // Nothing follows a piece that could not be read.
    handedOut_ = read ? number + 1 : pieces_;
    lock.unlock();
    changed_.notify_all();
  } else
#endif
  {
    read = ReadPiece(number, buffers_[static_cast<std::size_t>(slot)].get());
    handedOut_ = read ? number + 1 : pieces_;
  }
  if (!read) {
    piece.read = false;
    return piece;
  }
  piece.bytes = buffers_[static_cast<std::size_t>(slot)].get();
  piece.size = SizeOf(number);
  return piece;
}

}  // namespace ondrel
