#include "rwx/side_by_side.h"

#if FACETOR_WRITER_THREADS
#include <array>
#include <future>
#endif

namespace facetor {
namespace {

PieceText text_with_room() {
  PieceText text;
  text.reserve(kPieceTextRoom);
  return text;
}

}  // namespace

#if FACETOR_WRITER_THREADS

void put_pieces_in_order(std::size_t count, const std::function<void(std::size_t, PieceText&)>& make,
                         const std::function<void(std::string_view)>& put) {
  PieceText own = text_with_room();
  // The second thread's pieces alternate between two texts: one being put
  // while the next is made.
  std::array<PieceText, 2> other{text_with_room(), text_with_room()};
  std::future<void> pending;  // destroyed first: its piece stops before the texts go
  auto start = [&](std::size_t piece) {
    if (piece >= count) return;
    PieceText& text = other[(piece / 2) % 2];
    // Where no thread can be started, the piece is made on this one when it
    // is needed.
    pending = std::async(std::launch::async | std::launch::deferred, [&make, &text, piece] {
      text.clear();
      make(piece, text);
    });
  };
  start(1);
  for (std::size_t piece = 0; piece < count; piece += 2) {
    own.clear();
    make(piece, own);
    put(std::string_view(own.data(), own.size()));
    if (piece + 1 >= count) break;
    pending.get();
    start(piece + 3);
    const PieceText& made = other[((piece + 1) / 2) % 2];
    put(std::string_view(made.data(), made.size()));
  }
}

void run_side_by_side(const std::function<void()>& first, const std::function<void()>& second) {
  std::future<void> other = std::async(std::launch::async | std::launch::deferred, second);
  first();
  other.get();
}

#else

void put_pieces_in_order(std::size_t count, const std::function<void(std::size_t, PieceText&)>& make,
                         const std::function<void(std::string_view)>& put) {
  PieceText text = text_with_room();
  for (std::size_t piece = 0; piece < count; ++piece) {
    text.clear();
    make(piece, text);
    put(std::string_view(text.data(), text.size()));
  }
}

void run_side_by_side(const std::function<void()>& first, const std::function<void()>& second) {
  first();
  second();
}

#endif

}  // namespace facetor
