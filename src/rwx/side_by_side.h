// The writer's work on two threads where the build has them (one where it
// has not, with the same results): text made in pieces, two at a time, and
// handed on in the order of the pieces, so that the bytes are those of one
// thread making the pieces one after another; and two jobs that share only
// what they read.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

#include "io/large_block.h"

namespace facetor {

// The text of one piece. Each is kept for the next piece it makes, with room
// for kPieceTextRoom bytes from the start.
using PieceText = LargeVector<char>;
inline constexpr std::size_t kPieceTextRoom = std::size_t{2} << 20;

// Makes piece i with make(i, text) (text arrives empty) for i from 0 to
// count - 1, and passes each piece's text to put, in order. With threads,
// whichever thread is free makes the next piece, and this one puts them; at
// most four pieces' texts are held at once. What make or put throws reaches
// the caller once both threads have stopped. make must only read what the
// two threads share.
void put_pieces_in_order(std::size_t count, const std::function<void(std::size_t, PieceText&)>& make,
                         const std::function<void(std::string_view)>& put);

// Calls work(half, from, to) for the halves [0, count / 2) and
// [count / 2, count) side by side, or once for all of [0, count) as half 0
// when count is below splitFrom. work must write only its own half's
// elements. What either half throws reaches the caller once both have
// stopped.
void run_in_halves(std::size_t count, std::size_t splitFrom,
                   const std::function<void(std::size_t, std::size_t, std::size_t)>& work);

// Runs first and second, side by side where the build has threads, and
// returns when both are done. What either throws reaches the caller once both
// have stopped.
void run_side_by_side(const std::function<void()>& first, const std::function<void()>& second);

}  // namespace facetor
