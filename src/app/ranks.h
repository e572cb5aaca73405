#pragma once

#include "render/trace.h"

// One picture rendered by the ranks of an MPI job. Every rank reads the scene itself; rank 0
// hands out blocks of rows on demand, collects the finished rows and writes the picture with
// the usual messages, while the other ranks render the blocks they are given, each on its own
// threads, with nothing printed. Which rank renders a row changes nothing in it, so the
// picture is the same for any number of ranks. Alone, rank 0 renders as doTrace does.

// The MPI library for the length of a run. On every rank but 0, standard output is silenced,
// so that each message is printed once.
class RankSession {
  public:
    RankSession(int* argc, char*** argv);
    ~RankSession();
    RankSession(const RankSession&) = delete;
    RankSession& operator=(const RankSession&) = delete;

    // Ends the whole job with `status` when there are other ranks, which may be waiting for
    // this one: a run that failed on one rank must not leave the others hanging.
    void endJobIfShared(int status) const;

  private:
    int size_ = 1;
};

// Renders the loaded scene across the ranks and releases it; rank 0's report holds the rays
// of every rank. Rank 0 gives up on a rank that holds a block of rows and has sent nothing for
// LUMORA_RANK_TIMEOUT seconds (60 unless the environment says otherwise): it says so, drops
// the picture and ends the job with status 255.
RenderReport renderOnRanks();

// Whether the command line asks for render threads ("-t" or "--thread"): without them each
// rank renders on one thread, and a job of one rank is exactly the single-threaded program.
bool asksForThreads(int argc, char* argv[]);
