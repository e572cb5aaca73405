#include "app/ranks.h"

#include <mpi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "image/image.h"
#include "model/fatal.h"
#include "model/globals.h"
#include "render/camera.h"
#include "render/scan.h"

namespace {

using Clock = std::chrono::steady_clock;

// A worker sends its finished block (none with its first request) under kTagRows, and rank 0
// answers with the next block, or with a block of no rows to say that all are handed out.
constexpr int kTagRows = 1;
constexpr int kTagBlock = 2;

struct Block {
    int first = 0;
    int count = 0;
};

constexpr int kDefaultTimeoutSeconds = 60;
// How long rank 0 sleeps when no message is waiting: short next to a block's render time,
// long enough that waiting costs no processor time worth counting.
constexpr auto kPollPause = std::chrono::microseconds(200);

int worldRank() {
    int rank = 0;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    return rank;
}

int worldSize() {
    int size = 1;
    MPI_Comm_size(MPI_COMM_WORLD, &size);
    return size;
}

int timeoutSeconds() {
    const char* given = std::getenv("LUMORA_RANK_TIMEOUT");
    const int seconds = given != nullptr ? std::atoi(given) : 0;
    return seconds > 0 ? seconds : kDefaultTimeoutSeconds;
}

// Rows per block: some eight blocks per worker, so that a fast worker takes more of them and
// all end together, but never above 64 rows, which bounds a message to 192 bytes per pixel of
// width (under 400 KB for a 1920-pixel row).
int rowsPerBlock(int height, int workers) {
    return std::clamp(height / (8 * workers), 1, 64);
}

// Says why rank 0 gives up, drops the picture and ends every rank of the job.
[[noreturn]] void endJob(const std::string& why) {
    std::printf("\n %s: rendering stopped, no picture written\n", why.c_str());
    abandonImage();
    std::fflush(stdout);
    MPI_Abort(MPI_COMM_WORLD, kErrorStatus);
    std::abort();  // not reached: MPI_Abort ends this process too
}

// What every rank traced, summed on rank 0, and the largest traversal queue any of them
// needed. Rank 0 waits for the others no longer than `timeout`.
RayCounts gatherCounts(const RayCounts& own, std::chrono::seconds timeout) {
    long long counts[4] = {own.primary, own.shadow, own.reflected, own.refracted};
    long long sums[4] = {0, 0, 0, 0};
    const int mark = maxQueueSize;
    MPI_Request requests[2];
    MPI_Ireduce(counts, sums, 4, MPI_LONG_LONG, MPI_SUM, 0, MPI_COMM_WORLD, &requests[0]);
    MPI_Ireduce(&mark, &maxQueueSize, 1, MPI_INT, MPI_MAX, 0, MPI_COMM_WORLD, &requests[1]);
    const Clock::time_point start = Clock::now();
    for (int done = 0; !done;) {
        MPI_Testall(2, requests, &done, MPI_STATUSES_IGNORE);
        if (!done && Clock::now() - start > timeout) endJob("The ranks did not report their rays");
        if (!done) std::this_thread::sleep_for(kPollPause);
    }
    return {sums[0], sums[1], sums[2], sums[3]};
}

// Rank 0 of a job with workers: hands out the blocks, keeps the rows that come back and the
// progress bar, until every worker has been told that all rows are handed out.
class Coordinator {
  public:
    explicit Coordinator(int workers)
        : workers_(workers),
          rowBytes_(3 * static_cast<std::size_t>(myDisplay.width)),
          rows_(rowBytes_ * static_cast<std::size_t>(myDisplay.height)),
          rowsPerBlock_(rowsPerBlock(myDisplay.height, workers)),
          timeout_(std::chrono::seconds(timeoutSeconds())),
          // Until its first request a worker is reading the scene: it is waited for as long.
          lastHeard_(static_cast<std::size_t>(workers) + 1, Clock::now()),
          busy_(static_cast<std::size_t>(workers) + 1, true) {}

    void run() {
        int active = workers_;
        while (active > 0) {
            MPI_Status status;
            if (!messageWaiting(status)) {
                checkSilence();
                std::this_thread::sleep_for(kPollPause);
                continue;
            }
            const int worker = status.MPI_SOURCE;
            receiveRows(status);
            const Block next = nextBlock();
            MPI_Send(&next, 2, MPI_INT, worker, kTagBlock, MPI_COMM_WORLD);
            lastHeard_[worker] = Clock::now();
            busy_[worker] = next.count > 0;
            if (next.count == 0) --active;
        }
    }

    // Writes the rows into the open image.
    void storeRows() {
        for (int row = 0; row < myDisplay.height; ++row) {
            writeImageLine(rows_.data() + static_cast<std::size_t>(row) * rowBytes_, row);
        }
    }

  private:
    static bool messageWaiting(MPI_Status& status) {
        int waiting = 0;
        MPI_Iprobe(MPI_ANY_SOURCE, kTagRows, MPI_COMM_WORLD, &waiting, &status);
        return waiting != 0;
    }

    void checkSilence() const {
        const Clock::time_point now = Clock::now();
        for (int worker = 1; worker <= workers_; ++worker) {
            if (busy_[worker] && now - lastHeard_[worker] > timeout_) {
                endJob("Rank " + std::to_string(worker) + " sent nothing for " +
                       std::to_string(timeout_.count()) + " s");
            }
        }
    }

    // Keeps the rows of a worker's message, each with its progress mark.
    void receiveRows(const MPI_Status& status) {
        int bytes = 0;
        MPI_Get_count(&status, MPI_BYTE, &bytes);
        message_.resize(static_cast<std::size_t>(std::max(bytes, 0)));
        MPI_Recv(message_.data(), bytes, MPI_BYTE, status.MPI_SOURCE, kTagRows, MPI_COMM_WORLD,
                 MPI_STATUS_IGNORE);
        Block block;
        if (message_.size() >= sizeof block) std::memcpy(&block, message_.data(), sizeof block);
        const bool whole = message_.size() >= sizeof block && block.count >= 0 &&
                           block.first >= 0 && block.first + block.count <= myDisplay.height &&
                           message_.size() == sizeof block + block.count * rowBytes_;
        if (!whole) endJob("Rank " + std::to_string(status.MPI_SOURCE) + " sent damaged rows");
        std::copy(message_.begin() + sizeof block, message_.end(),
                  rows_.begin() + static_cast<std::ptrdiff_t>(block.first * rowBytes_));
        for (int row = block.first; row < block.first + block.count; ++row) showProgress(row);
    }

    Block nextBlock() {
        const Block block{nextRow_, std::min(rowsPerBlock_, myDisplay.height - nextRow_)};
        nextRow_ += block.count;
        return block;
    }

    int workers_;
    std::size_t rowBytes_;
    std::vector<unsigned char> rows_;  // the whole picture, top row first
    int rowsPerBlock_;
    std::chrono::seconds timeout_;
    std::vector<Clock::time_point> lastHeard_;  // by rank
    std::vector<bool> busy_;                    // by rank: holds a block, or has not asked yet
    std::vector<unsigned char> message_;
    int nextRow_ = 0;
};

// The picture file is made only once every row is in. When a rank dies, mpirun ends the
// others, rank 0 too, and not always by a signal it can catch: a file open through the render
// would then be left behind. Opening it at the start still refuses an output that cannot be
// written before any ray is traced.
RenderReport coordinate(int workers) {
    openRender();
    abandonImage();
    RenderReport report;
    const Clock::time_point start = Clock::now();
    Coordinator coordinator(workers);
    coordinator.run();
    report.rays = gatherCounts({}, std::chrono::seconds(timeoutSeconds()));
    report.renderSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    openImageSilently(myDisplay.outputName, myDisplay.width, myDisplay.height);
    coordinator.storeRows();
    closeRender(report);
    return report;
}

// A worker: asks for blocks, renders each on its threads into a window of rows and sends
// the rows back with its next request.
RenderReport work() {
    if (multiThreaded) initMTBounds(numThreads);  // holds the count to 2, 4 or 8
    computeCameraFrame();
    std::vector<TraceContext> contexts(multiThreaded ? numThreads : 1);
    RayCounts rays;
    std::vector<unsigned char> message(sizeof(Block));  // the first request carries no rows
    for (;;) {
        MPI_Send(message.data(), static_cast<int>(message.size()), MPI_BYTE, 0, kTagRows,
                 MPI_COMM_WORLD);
        Block block;
        MPI_Recv(&block, 2, MPI_INT, 0, kTagBlock, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
        if (block.count == 0) break;
        openRowWindow(myDisplay.width, block.first, block.count);
        rays += renderRows(block.first, block.count, contexts);
        const std::span<const unsigned char> rows = windowRows();
        message.resize(sizeof block + rows.size());
        std::memcpy(message.data(), &block, sizeof block);
        std::copy(rows.begin(), rows.end(), message.begin() + sizeof block);
    }
    closeImage();
    gatherCounts(rays, std::chrono::seconds(timeoutSeconds()));
    releaseScene();
    return {};
}

}  // namespace

RankSession::RankSession(int* argc, char*** argv) {
    int provided = 0;
    // Only the main thread calls MPI; the render threads never do.
    MPI_Init_thread(argc, argv, MPI_THREAD_FUNNELED, &provided);
    size_ = worldSize();
    if (worldRank() != 0 && std::freopen("/dev/null", "w", stdout) == nullptr) {
        std::fclose(stdout);
    }
}

RankSession::~RankSession() {
    MPI_Finalize();
}

void RankSession::endJobIfShared(int status) const {
    if (size_ == 1 || status == 0) return;
    std::fflush(stdout);
    MPI_Abort(MPI_COMM_WORLD, status);
}

RenderReport renderOnRanks() {
    const int size = worldSize();
    if (size == 1) return doTrace();
    if (worldRank() == 0) return coordinate(size - 1);
    return work();
}

bool asksForThreads(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "-t" || argument == "--thread") return true;
    }
    return false;
}
