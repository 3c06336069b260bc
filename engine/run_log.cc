#include "engine/run_log.h"

#include <cstdio>
#include <ctime>
#include <optional>

#include "host/host_env.h"

namespace brimwell {

RunLog::RunLog(const std::string& file) {
  auto out = std::make_unique<std::ofstream>(file, std::ios::app | std::ios::binary);
  if (*out) out_ = std::move(out);
}

std::unique_ptr<RunLog> RunLog::FromEnvironment() {
  std::optional<std::string> file = host::Env::Default().GetEnv(kRunLogEnvironmentVariable);
  if (!file || file->empty()) return std::make_unique<RunLog>();
  return std::make_unique<RunLog>(*file);
}

void RunLog::Write(std::string_view kind, std::string_view text) {
  if (!out_) return;
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t seconds = system_clock::to_time_t(now);
  auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  double elapsed = duration<double>(steady_clock::now() - opened_).count();
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d +%.3fs", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(millis), elapsed);
  std::string line = stamp;
  line += '\t';
  line += kind;
  line += '\t';
  for (char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
  line += '\n';
  out_->write(line.data(), static_cast<std::streamsize>(line.size()));
  out_->flush();
}

}  // namespace brimwell
