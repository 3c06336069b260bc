#include "archive/member_writer.h"

#include <algorithm>
#include <exception>

#include "platform/win_path.h"

namespace brimwell {

MemberWriter::MemberWriter(TargetDirectory& dir, int threads) : dir_(dir) {
  for (int i = 0; i < std::max(1, threads); ++i) workers_.emplace_back([this] { Work(); });
}

MemberWriter::~MemberWriter() {
  Finish();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  work_.notify_all();
  for (std::thread& t : workers_) t.join();
}

void MemberWriter::Submit(Job job) {
  std::string folded = WinUpperCase(job.name);
  std::unique_lock<std::mutex> lock(mutex_);
  // A first job is always taken, so that one larger than the window passes.
  room_.wait(lock, [&] {
    return queue_.empty() || (queue_.size() < kMaxJobs && queued_bytes_ < kWindowBytes);
  });
  ++pending_names_[std::move(folded)];
  queued_bytes_ += job.bytes.size();
  queue_.push_back({next_seq_++, std::move(job)});
  lock.unlock();
  work_.notify_one();
}

bool MemberWriter::Pending(const std::string& name) {
  const std::string folded = WinUpperCase(name);
  std::lock_guard<std::mutex> lock(mutex_);
  return pending_names_.count(folded) != 0;
}

std::vector<MemberWriter::Job> MemberWriter::Finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  idle_.wait(lock, [&] { return queue_.empty() && busy_ == 0; });
  std::sort(handed_back_.begin(), handed_back_.end(),
            [](const Queued& a, const Queued& b) { return a.seq < b.seq; });
  std::vector<Job> jobs;
  for (Queued& q : handed_back_) jobs.push_back(std::move(q.job));
  handed_back_.clear();
  pending_names_.clear();
  failed_ = false;  // the caller takes it from here
  next_commit_ = next_seq_;
  return jobs;
}

void MemberWriter::Forget(const std::string& name) {
  auto it = pending_names_.find(WinUpperCase(name));
  if (it != pending_names_.end() && --it->second == 0) pending_names_.erase(it);
}

void MemberWriter::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    work_.wait(lock, [&] { return stop_ || !queue_.empty(); });
    if (queue_.empty()) return;  // stopping, with nothing left
    Queued q = std::move(queue_.front());
    queue_.pop_front();
    queued_bytes_ -= q.job.bytes.size();
    ++busy_;
    // After a failure nothing more is written: the extraction stops at the
    // failed member as it would have by itself.
    const bool write = !failed_;
    lock.unlock();
    room_.notify_one();
    std::unique_ptr<NewFile> file;
    if (write) file = Prepare(q.job);
    lock.lock();
    // Files take their names in the order of the members, so that a failure
    // leaves exactly the members before it, as writing them one by one does.
    turn_.wait(lock, [&] { return failed_ || next_commit_ == q.seq; });
    bool committed = false;
    if (!failed_ && file) {
      lock.unlock();
      committed = file->Commit(q.job.program).ok();
      lock.lock();
    }
    if (committed) {
      ++next_commit_;
      Forget(q.job.name);
    } else {
      failed_ = true;
      handed_back_.push_back(std::move(q));
    }
    --busy_;
    const bool idle = queue_.empty() && busy_ == 0;
    lock.unlock();
    file.reset();  // an uncommitted file is removed
    turn_.notify_all();
    if (idle) idle_.notify_all();
    lock.lock();
  }
}

std::unique_ptr<NewFile> MemberWriter::Prepare(const Job& job) {
  try {
    WinResult<std::unique_ptr<NewFile>> made = dir_.CreateReplacement(job.name);
    if (!made) return nullptr;
    std::unique_ptr<NewFile> file = std::move(*made);
    if (!file->Write(job.bytes.data(), job.bytes.size()).ok() ||
        !file->SetLastWriteTime(job.date).ok()) {
      return nullptr;
    }
    return file;
  } catch (const std::exception&) {
    return nullptr;  // written again by the extraction, which reports why
  }
}

}  // namespace brimwell
