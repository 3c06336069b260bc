// Writes whole members of an extraction into new files of one target
// directory on worker threads, so that creating and writing files (most of
// the cost of many small members) runs on every core while the extraction
// goes on with the next members. The extraction keeps everything callers
// observe (events, progress, abort, the order of decisions) on its own
// thread; a job that fails is handed back untouched, with every job after
// it, for the extraction to write itself and report as it would have; the
// files take their names in the order of the members.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "framework/date_time.h"
#include "platform/target_directory.h"

namespace brimwell {

class MemberWriter {
 public:
  struct Job {
    std::string name;  // the file's name in the directory
    std::vector<std::uint8_t> bytes;
    TDateTime date = 0;
    bool program = false;  // made executable
  };

  // At most this many jobs, holding at most kWindowBytes, wait at once.
  static constexpr std::size_t kMaxJobs = 64;
  static constexpr std::size_t kWindowBytes = 16u << 20;

  // `dir` (which must serve threads) outlives the writer.
  MemberWriter(TargetDirectory& dir, int threads);
  // Writes what was submitted (unless a job failed), then stops the workers.
  ~MemberWriter();
  MemberWriter(const MemberWriter&) = delete;
  MemberWriter& operator=(const MemberWriter&) = delete;

  // Queues a job, waiting while the window is full.
  void Submit(Job job);
  // True while a job for `name` (compared without case) is not written yet.
  bool Pending(const std::string& name);
  // Waits until every job submitted is written or handed back; returns
  // those handed back (the failed one and all after it) in their order.
  std::vector<Job> Finish();

 private:
  struct Queued {
    std::uint64_t seq = 0;
    Job job;
  };

  void Work();
  // The job's file, written and dated but not yet named; nullptr on failure.
  std::unique_ptr<NewFile> Prepare(const Job& job);
  void Forget(const std::string& name);  // mutex_ held

  TargetDirectory& dir_;
  std::mutex mutex_;
  std::condition_variable work_;  // a job queued, or stopping
  std::condition_variable room_;  // room in the window
  std::condition_variable turn_;  // a file named, or a failure
  std::condition_variable idle_;  // nothing queued or being written
  std::deque<Queued> queue_;
  std::vector<Queued> handed_back_;
  std::unordered_map<std::string, int> pending_names_;  // upper-cased
  std::size_t queued_bytes_ = 0;
  std::uint64_t next_seq_ = 0;
  std::uint64_t next_commit_ = 0;  // the job whose file is named next
  int busy_ = 0;  // jobs being written
  bool failed_ = false;
  bool stop_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace brimwell
