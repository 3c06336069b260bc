#include "platform/dde.h"

#include <algorithm>
#include <cctype>

#include "framework/text_case.h"
#include "platform/machine.h"
#include "platform/program_manager.h"

namespace brimwell {
namespace {

constexpr char kProgramManagerService[] = "PROGMAN";

class ProgramManagerConversation final : public DdeConversation {
 public:
  explicit ProgramManagerConversation(ProgramManager& server) : server_(server) {}

  bool Connect(std::string_view service, std::string_view topic) override {
    connected_ = SameText(service, kProgramManagerService) && SameText(topic, kProgramManagerService);
    return connected_;
  }
  void Disconnect() override { connected_ = false; }
  bool Connected() const override { return connected_; }
  bool Execute(std::string_view command) override { return connected_ && server_.Execute(command); }
  std::optional<std::string> Request(std::string_view item) override {
    if (!connected_) return std::nullopt;
    return server_.Request(item);
  }

 private:
  ProgramManager& server_;
  bool connected_ = false;
};

class MachineDde final : public Dde {
 public:
  explicit MachineDde(Machine& machine) : machine_(machine) {}
  std::unique_ptr<DdeConversation> NewConversation() override {
    // One Program Manager per machine: its active group outlives a
    // conversation, as the real one's does.
    if (!server_) server_ = std::make_unique<ProgramManager>(machine_.GetRegistry());
    return std::make_unique<ProgramManagerConversation>(*server_);
  }

 private:
  Machine& machine_;
  std::unique_ptr<ProgramManager> server_;
};

}  // namespace

class RecordingConversation final : public DdeConversation {
 public:
  RecordingConversation(RecordingDde& owner, std::unique_ptr<DdeConversation> target)
      : owner_(owner), target_(std::move(target)) {}

  bool Connect(std::string_view service, std::string_view topic) override {
    const bool ok = !owner_.refuse_connect_ && target_->Connect(service, topic);
    Note("connect " + std::string(service) + " " + std::string(topic) + (ok ? "" : " refused"));
    return ok;
  }
  void Disconnect() override {
    target_->Disconnect();
    Note("disconnect");
  }
  bool Connected() const override { return target_->Connected(); }
  bool Execute(std::string_view command) override {
    const bool refused = std::any_of(owner_.refused_commands_.begin(), owner_.refused_commands_.end(),
                                     [&](const std::string& t) { return command.find(t) != std::string_view::npos; });
    const bool ok = !refused && target_->Execute(command);
    Note("execute " + std::string(command) + (ok ? "" : " refused"));
    return ok;
  }
  std::optional<std::string> Request(std::string_view item) override {
    std::optional<std::string> answer;
    if (!owner_.silenced_items_.contains(std::string(item))) answer = target_->Request(item);
    Note("request " + std::string(item) + (answer ? "" : " no answer"));
    return answer;
  }

 private:
  void Note(std::string line) { owner_.transcript_.push_back(std::move(line)); }
  RecordingDde& owner_;
  std::unique_ptr<DdeConversation> target_;
};

std::unique_ptr<DdeConversation> RecordingDde::NewConversation() {
  return std::make_unique<RecordingConversation>(*this, target_->NewConversation());
}

std::unique_ptr<Dde> NewDde(Machine& machine) { return std::make_unique<MachineDde>(machine); }

Dde& DdeOf(Machine& machine) {
  if (Dde* dde = machine.Find<Dde>()) return *dde;
  machine.Attach<Dde>(NewDde(machine));
  return *machine.Find<Dde>();
}

}  // namespace brimwell
