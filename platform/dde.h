// Dynamic data exchange, client side, as the engine uses it: a conversation
// with a server by service and topic name, execute transactions carrying a
// command string, and request transactions for a text item. The machine's
// only server is its Program Manager (program_manager.h), reached under
// service and topic "PROGMAN". RecordingDde keeps a transcript of every
// transaction and can make chosen ones fail, for tests.
#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace brimwell {

class Machine;

class DdeConversation {
 public:
  DdeConversation() = default;
  DdeConversation(const DdeConversation&) = delete;
  DdeConversation& operator=(const DdeConversation&) = delete;
  virtual ~DdeConversation() = default;

  // Opens the conversation; false when no server answers for that service
  // and topic (names compare without case).
  virtual bool Connect(std::string_view service, std::string_view topic) = 0;
  virtual void Disconnect() = 0;
  virtual bool Connected() const = 0;
  // An execute transaction: true when the server accepted the command.
  virtual bool Execute(std::string_view command) = 0;
  // A request transaction for a text item: the server's data, or nullopt
  // when it has no answer (or the conversation is not open).
  virtual std::optional<std::string> Request(std::string_view item) = 0;
};

class Dde {
 public:
  Dde() = default;
  Dde(const Dde&) = delete;
  Dde& operator=(const Dde&) = delete;
  virtual ~Dde() = default;

  // A new, unconnected conversation. The service must outlive it.
  virtual std::unique_ptr<DdeConversation> NewConversation() = 0;
};

// The DDE service of `machine`, whose Program Manager keeps its groups in
// the machine's registry; `machine` must outlive it.
std::unique_ptr<Dde> NewDde(Machine& machine);
// The machine's DDE service: the one attached to it (a test attaches a
// RecordingDde), else a new one attached on first use.
Dde& DdeOf(Machine& machine);

// Forwards to another service and writes every transaction into a
// transcript, one line each:
//   connect PROGMAN PROGMAN        (" refused" appended when it failed)
//   execute [CreateGroup("Tools")] (" refused" appended when it failed)
//   request Tools                  (" no answer" appended without an answer)
//   disconnect
class RecordingDde : public Dde {
 public:
  explicit RecordingDde(std::unique_ptr<Dde> target) : target_(std::move(target)) {}

  std::unique_ptr<DdeConversation> NewConversation() override;

  const std::vector<std::string>& Transcript() const { return transcript_; }
  void ClearTranscript() { transcript_.clear(); }
  // Faults: every connect is refused; an execute whose command contains
  // `text` is refused (without reaching the server); a request for `item`
  // gets no answer.
  void RefuseConnect(bool refuse) { refuse_connect_ = refuse; }
  void RefuseExecuteContaining(std::string text) { refused_commands_.push_back(std::move(text)); }
  void SilenceRequest(std::string item) { silenced_items_.insert(std::move(item)); }

 private:
  friend class RecordingConversation;
  std::unique_ptr<Dde> target_;
  std::vector<std::string> transcript_;
  bool refuse_connect_ = false;
  std::vector<std::string> refused_commands_;
  std::set<std::string> silenced_items_;
};

}  // namespace brimwell
