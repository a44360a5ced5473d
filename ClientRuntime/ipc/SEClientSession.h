#ifndef CLIENTRUNTIME_IPC_SECLIENTSESSION_H
#define CLIENTRUNTIME_IPC_SECLIENTSESSION_H

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ClientRuntime/ipc/ClientSession.h"

namespace Sid {

// The request bookkeeping of a session: which waiting thread each response
// and property reply belongs to, and the hand-over of the reading turn to a
// waiting caller when every processor is busy (buffering mode).
class SEClientSession : public ClientSession {
public:
  // Marker values of the logging-out state.
  static constexpr unsigned NOT_LOGGED_IN = 0xFFFFFFFFu;

  SEClientSession(int max_processors, const Field* descriptors);
  ~SEClientSession() override;

  void notify_no_more_command_processor() override;
  bool reuse_command_processor(CommandProcessor* processor) override;
  void process_command(CommandInitiator* thread) override;

  // The calling thread's initiator: its processor on a processor thread,
  // otherwise an initiator of its own (one per application thread).
  virtual CommandInitiator* get_current_thread();

  // Method calls: header is the pre-encoded call prefix; params and results
  // are pointers, one per field of the descriptor message named.
  bool call_00(const char* header, unsigned header_size);
  bool call_0n(const char* header, unsigned header_size, unsigned results, void* const* values);
  bool call_m0(const char* header, unsigned header_size, unsigned params, const void* const* values);
  // The caller reads the results with read_results(thread, ...) afterwards.
  bool call_mn(CommandInitiator*& thread, const char* header, unsigned header_size, unsigned params,
               const void* const* values);
  bool read_results(CommandInitiator* thread, unsigned results, void* const* values);

  bool wait_response(CommandInitiator* thread, unsigned rid);
  // Called with the command lock held and a property request begun: queues
  // the caller, finishes and sends the request, releases the command lock and
  // waits for the reply.
  bool wait_get(CommandInitiator* thread, std::unique_lock<std::recursive_mutex>& command_lock);
  void terminate_requests(CommandInitiator* except);

  unsigned logging_out() const { return m_logging_out.load(); }
  void set_logging_out(unsigned marker) { m_logging_out = marker; }
  std::recursive_mutex& get_cache_lock() { return m_cache_lock; }
  // Held from the first to the last byte of every outgoing command.
  std::recursive_mutex& get_command_lock() { return m_command_lock; }
  CommandInitiator* get_main_initiator() const { return m_main_command_initiator.get(); }
  // Replies read before their caller started waiting.
  size_t queued_replies();

protected:
  // 'E' with its module and event read: decode and deliver. Base: skip.
  virtual Protocol::Status dispatch_event(CommandInitiator* thread, Protocol::ClientInterface* protocol,
                                          const unsigned& modid, const unsigned& event_id);
  // 'C': update the cache and call OnChange. Base: skip the stream.
  virtual Protocol::Status property_onchange(CommandInitiator* thread);
  // Reads and discards the rest of a property stream.
  Protocol::Status skip_properties(CommandInitiator* thread);

private:
  void receive_get(CommandInitiator* thread);
  void receive_response(unsigned rid);
  bool enter_buffering_mode(CommandInitiator* thread, bool read_now);
  bool decode_failed(CommandInitiator* thread);

  std::mutex m_queue_mutex;
  std::vector<std::pair<unsigned, CommandInitiator*>> m_response_queue;
  std::deque<CommandInitiator*> m_get_queue;
  bool m_buffering = false;
  bool m_no_processor = false;
  std::atomic<unsigned> m_logging_out{NOT_LOGGED_IN};

  std::unique_ptr<CommandInitiator> m_main_command_initiator;
  std::mutex m_initiators_mutex;
  std::unordered_map<std::thread::id, std::unique_ptr<CommandInitiator>> m_thread_initiators;

  std::recursive_mutex m_cache_lock;
  std::recursive_mutex m_command_lock;
};

} // namespace Sid

using SEClientSession = Sid::SEClientSession;

#endif
