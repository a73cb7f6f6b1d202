#include "rwx/side_by_side.h"

#if FACETOR_WRITER_THREADS
#include <array>
#include <condition_variable>
#include <exception>
#include <future>
#include <mutex>
#include <system_error>
#include <thread>
#endif

namespace facetor {
namespace {

PieceText text_with_room() {
  PieceText text;
  text.reserve(kPieceTextRoom);
  return text;
}

}  // namespace

void run_in_halves(std::size_t count, std::size_t splitFrom,
                   const std::function<void(std::size_t, std::size_t, std::size_t)>& work) {
  if (count < splitFrom) {
    work(0, 0, count);
    return;
  }
  run_side_by_side([&] { work(0, 0, count / 2); }, [&] { work(1, count / 2, count); });
}

#if FACETOR_WRITER_THREADS

namespace {

// Pieces in the making: they are claimed in order, each into the text of
// its number modulo kTexts, which is free again once its piece is put.
constexpr std::size_t kTexts = 4;

struct Pieces {
  std::size_t count = 0;
  std::mutex lock;
  std::condition_variable changed;
  std::size_t claimed = 0;  // pieces claimed by either thread
  std::size_t done = 0;     // pieces put
  std::array<bool, kTexts> made{};
  std::array<PieceText, kTexts> texts;
  bool stop = false;
  std::exception_ptr failure;  // what the second thread threw
};

bool can_claim(const Pieces& pieces) {
  return !pieces.stop && pieces.claimed < pieces.count && pieces.claimed < pieces.done + kTexts;
}

// Makes the claimed piece with the lock released; held again on return.
void make_claimed(Pieces& pieces, std::unique_lock<std::mutex>& held,
                  const std::function<void(std::size_t, PieceText&)>& make) {
  const std::size_t piece = pieces.claimed++;
  PieceText& text = pieces.texts[piece % kTexts];
  held.unlock();
  text.clear();
  make(piece, text);
  held.lock();
  pieces.made[piece % kTexts] = true;
  pieces.changed.notify_all();
}

// The second thread: makes pieces while there are texts free, until every
// piece is claimed or the first thread stops it.
void make_pieces(Pieces& pieces, const std::function<void(std::size_t, PieceText&)>& make) {
  std::unique_lock<std::mutex> held(pieces.lock);
  try {
    for (;;) {
      pieces.changed.wait(held, [&] { return pieces.stop || pieces.claimed >= pieces.count || can_claim(pieces); });
      if (!can_claim(pieces)) return;
      make_claimed(pieces, held, make);
    }
  } catch (...) {
    if (!held.owns_lock()) held.lock();  // make threw with the lock released
    pieces.failure = std::current_exception();
    pieces.stop = true;
    pieces.changed.notify_all();
  }
}

// The first thread: puts each piece once it is made, and makes the next
// unclaimed one meanwhile, so that the thread that also writes makes fewer
// pieces and neither waits while a piece is left to make.
void put_in_order(Pieces& pieces, const std::function<void(std::size_t, PieceText&)>& make,
                  const std::function<void(std::string_view)>& put) {
  std::unique_lock<std::mutex> held(pieces.lock);
  while (pieces.done < pieces.count && !pieces.failure) {
    const std::size_t next = pieces.done % kTexts;
    if (pieces.made[next]) {
      held.unlock();
      put(std::string_view(pieces.texts[next].data(), pieces.texts[next].size()));
      held.lock();
      pieces.made[next] = false;
      ++pieces.done;
      pieces.changed.notify_all();
    } else if (can_claim(pieces)) {
      make_claimed(pieces, held, make);
    } else {
      pieces.changed.wait(held);
    }
  }
}

}  // namespace

void put_pieces_in_order(std::size_t count, const std::function<void(std::size_t, PieceText&)>& make,
                         const std::function<void(std::string_view)>& put) {
  Pieces pieces;
  pieces.count = count;
  for (PieceText& text : pieces.texts) text = text_with_room();
  std::thread second;
  try {
    second = std::thread(make_pieces, std::ref(pieces), std::cref(make));
  } catch (const std::system_error&) {
    // No second thread: this one makes every piece.
  }
  const auto stop_second = [&] {
    {
      std::lock_guard<std::mutex> held(pieces.lock);
      pieces.stop = true;
    }
    pieces.changed.notify_all();
    if (second.joinable()) second.join();
  };
  try {
    put_in_order(pieces, make, put);
  } catch (...) {
    stop_second();
    throw;
  }
  stop_second();
  if (pieces.failure) std::rethrow_exception(pieces.failure);
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
