#include "ClientRuntime/ipc/SEClientSession.h"

namespace Sid {

using Protocol::Status;

SEClientSession::SEClientSession(int max_processors, const Field* descriptors)
    : ClientSession(max_processors, descriptors),
      m_main_command_initiator(std::make_unique<CommandInitiator>(this, this)) {
  m_response_queue.reserve(static_cast<size_t>(max_processors) + 1);
}

SEClientSession::~SEClientSession() { stop(); }

CommandInitiator* SEClientSession::get_current_thread() {
  if (CommandProcessor* p = CommandProcessor::current()) return p;
  // Every application thread gets its own initiator, so that two of them
  // waiting at once can never be woken for each other's replies.
  std::lock_guard<std::mutex> lock(m_initiators_mutex);
  std::thread::id id = std::this_thread::get_id();
  if (m_thread_initiators.empty()) {
    m_thread_initiators.emplace(id, nullptr);   // the first one uses the main initiator
    return m_main_command_initiator.get();
  }
  auto it = m_thread_initiators.find(id);
  if (it == m_thread_initiators.end()) {
    it = m_thread_initiators.emplace(id, std::make_unique<CommandInitiator>(this, this)).first;
  }
  return it->second ? it->second.get() : m_main_command_initiator.get();
}

void SEClientSession::notify_no_more_command_processor() {
  CommandInitiator* wake = nullptr;
  {
    std::lock_guard<std::mutex> lock(m_queue_mutex);
    if (m_buffering) return;   // a waiting caller already holds the reading turn
    if (!m_get_queue.empty()) {
      wake = m_get_queue.front();
    } else {
      for (auto& entry : m_response_queue) {
        if (entry.second) {
          wake = entry.second;
          break;
        }
      }
    }
    if (wake) m_buffering = true;
    else m_no_processor = true;
  }
  if (wake) wake->resume(1);
}

bool SEClientSession::reuse_command_processor(CommandProcessor*) {
  std::lock_guard<std::mutex> lock(m_queue_mutex);
  if (!m_no_processor) return false;
  m_no_processor = false;
  return true;
}

bool SEClientSession::decode_failed(CommandInitiator* thread) {
  if (m_protocol->resync_decode(thread) != Protocol::OK) terminate_requests(thread);
  return false;
}

void SEClientSession::process_command(CommandInitiator* thread) {
  if (!m_protocol) return;
  Protocol::Command cmd = Protocol::CMD_RESERVED;
  Status s = m_protocol->rd_response_or_event(thread, cmd);
  if (s == Protocol::OK) {
    switch (cmd) {
    case Protocol::CMD_EVENT: {
      unsigned modid = 0, event_id = 0;
      s = m_protocol->rd_event(thread, modid, event_id);
      if (s == Protocol::OK) {
        s = logging_out() != 0 ? m_protocol->sk_parms(thread)
                               : dispatch_event(thread, m_protocol.get(), modid, event_id);
      }
      break;
    }
    case Protocol::CMD_PROPCHANGE:
      s = property_onchange(thread);
      break;
    case Protocol::CMD_GET_REPLY:
      receive_get(thread);
      return;
    case Protocol::CMD_XREPLY: {
      unsigned rid = 0;
      s = m_protocol->rd_response_id(thread, rid);
      if (s == Protocol::OK) {
        receive_response(rid);
        return;
      }
      break;
    }
    default:
      s = Protocol::ERR_DECODE;
      break;
    }
  }
  if (s != Protocol::OK && s != Protocol::COMPLETED) {
    if (m_protocol->resync_decode(thread) != Protocol::OK) terminate_requests(nullptr);
  }
}

void SEClientSession::receive_get(CommandInitiator* thread) {
  CommandInitiator* waiter = nullptr;
  {
    std::lock_guard<std::mutex> lock(m_queue_mutex);
    if (!m_get_queue.empty()) {
      waiter = m_get_queue.front();
      m_get_queue.pop_front();
    }
  }
  if (waiter) {
    waiter->resume(1);
    return;
  }
  // A property reply nobody asked for: read past it so the stream goes on.
  if (skip_properties(thread) != Protocol::OK && m_protocol->resync_decode(thread) != Protocol::OK)
    terminate_requests(nullptr);
}

void SEClientSession::receive_response(unsigned rid) {
  CommandInitiator* waiter = nullptr;
  {
    std::lock_guard<std::mutex> lock(m_queue_mutex);
    for (size_t i = 0; i < m_response_queue.size(); ++i) {
      if (m_response_queue[i].first == rid && m_response_queue[i].second) {
        waiter = m_response_queue[i].second;
        m_response_queue[i] = m_response_queue.back();
        m_response_queue.pop_back();
        break;
      }
    }
    if (!waiter) m_response_queue.emplace_back(rid, nullptr);   // the caller is not waiting yet
  }
  if (waiter) waiter->resume(1);
}

bool SEClientSession::wait_response(CommandInitiator* thread, unsigned rid) {
  bool read_now = false;
  {
    std::lock_guard<std::mutex> lock(m_queue_mutex);
    if (is_stopped()) return false;
    for (size_t i = 0; i < m_response_queue.size(); ++i) {
      if (m_response_queue[i].first == rid && !m_response_queue[i].second) {
        m_response_queue[i] = m_response_queue.back();
        m_response_queue.pop_back();
        return true;   // the reply came first: decode it now
      }
    }
    read_now = m_no_processor;
    m_no_processor = false;
    m_response_queue.emplace_back(rid, thread);
  }
  return enter_buffering_mode(thread, read_now);
}

bool SEClientSession::wait_get(CommandInitiator* thread, std::unique_lock<std::recursive_mutex>& command_lock) {
  bool read_now = false;
  {
    std::lock_guard<std::mutex> lock(m_queue_mutex);
    if (is_stopped()) {
      m_protocol->end_get_property(thread);
      command_lock.unlock();
      return false;
    }
    read_now = m_no_processor;
    m_no_processor = false;
    m_get_queue.push_back(thread);
    if (m_protocol->end_get_property(thread) != Protocol::OK) {
      m_get_queue.pop_back();
      command_lock.unlock();
      return false;
    }
  }
  command_lock.unlock();
  return enter_buffering_mode(thread, read_now);
}

bool SEClientSession::enter_buffering_mode(CommandInitiator* thread, bool read_now) {
  for (;;) {
    if (!read_now) {
      if (thread->yield() == 0) return false;
      std::lock_guard<std::mutex> lock(m_queue_mutex);
      if (!m_buffering) return !is_stopped();   // woken because the reply is ready
      m_buffering = false;
    }
    read_now = false;
    // This thread holds the reading turn: store events and property changes
    // for later delivery until a reply comes.
    Protocol::Command cmd = Protocol::CMD_RESERVED;
    m_connection->hold_reading_turn(true);
    Status bs = m_protocol->buffer_events(thread, cmd);
    m_connection->hold_reading_turn(false);
    if (bs != Protocol::OK) {
      if (m_protocol->resync_decode(thread) != Protocol::OK) {
        terminate_requests(thread);
        return false;
      }
      continue;   // the turn was handed on; wait again
    }
    if (cmd == Protocol::CMD_EVENT || cmd == Protocol::CMD_PROPCHANGE) {
      read_now = true;   // buffered whole; the turn is still ours
      continue;
    }
    CommandInitiator* other = nullptr;
    if (cmd == Protocol::CMD_GET_REPLY) {
      std::lock_guard<std::mutex> lock(m_queue_mutex);
      if (!m_get_queue.empty()) {
        other = m_get_queue.front();
        m_get_queue.pop_front();
      }
      if (other == thread) return true;
    } else if (cmd == Protocol::CMD_XREPLY) {
      unsigned rid = 0;
      if (m_protocol->rd_response_id(thread, rid) != Protocol::OK) {
        if (m_protocol->resync_decode(thread) != Protocol::OK) {
          terminate_requests(thread);
          return false;
        }
        continue;
      }
      std::lock_guard<std::mutex> lock(m_queue_mutex);
      bool found = false;
      for (size_t i = 0; i < m_response_queue.size(); ++i) {
        if (m_response_queue[i].first == rid && m_response_queue[i].second) {
          other = m_response_queue[i].second;
          m_response_queue[i] = m_response_queue.back();
          m_response_queue.pop_back();
          found = true;
          break;
        }
      }
      if (!found) m_response_queue.emplace_back(rid, nullptr);
      if (other == thread) return true;
    }
    if (other) {
      other->resume(1);
    } else if (cmd == Protocol::CMD_GET_REPLY) {
      if (skip_properties(thread) != Protocol::OK && m_protocol->resync_decode(thread) != Protocol::OK) {
        terminate_requests(thread);
        return false;
      }
    }
  }
}

size_t SEClientSession::queued_replies() {
  std::lock_guard<std::mutex> lock(m_queue_mutex);
  size_t n = 0;
  for (auto& e : m_response_queue)
    if (!e.second) ++n;
  return n;
}

void SEClientSession::terminate_requests(CommandInitiator* except) {
  std::vector<CommandInitiator*> wake;
  {
    std::lock_guard<std::mutex> lock(m_queue_mutex);
    set_stopped();
    for (CommandInitiator* t : m_get_queue)
      if (t && t != except) wake.push_back(t);
    for (auto& e : m_response_queue)
      if (e.second && e.second != except) wake.push_back(e.second);
    m_get_queue.clear();
    m_response_queue.clear();
  }
  for (CommandInitiator* t : wake) t->resume(0);
}

bool SEClientSession::call_00(const char* header, unsigned header_size) {
  return call_0n(header, header_size, 0, nullptr);
}

bool SEClientSession::call_0n(const char* header, unsigned header_size, unsigned results, void* const* values) {
  if (!m_protocol) return false;
  CommandInitiator* thread = get_current_thread();
  unsigned rid = 0;
  {
    std::lock_guard<std::recursive_mutex> lock(m_command_lock);
    if (m_protocol->wr_call(thread, header, header_size, rid) != Protocol::OK) return false;
  }
  if (!wait_response(thread, rid)) return false;
  return read_results(thread, results, values);
}

bool SEClientSession::call_mn(CommandInitiator*& thread, const char* header, unsigned header_size,
                              unsigned params, const void* const* values) {
  thread = get_current_thread();
  if (!m_protocol) return false;
  unsigned rid = 0;
  {
    std::lock_guard<std::recursive_mutex> lock(m_command_lock);
    if (m_protocol->wr_preencoded_lst(thread, header, header_size, Protocol::BinCommon::ID_NEXT, rid, params,
                                      true, values) != Protocol::OK)
      return false;
  }
  return wait_response(thread, rid);
}

bool SEClientSession::call_m0(const char* header, unsigned header_size, unsigned params, const void* const* values) {
  CommandInitiator* thread = nullptr;
  if (!call_mn(thread, header, header_size, params, values)) return false;
  return read_results(thread, 0, nullptr);
}

bool SEClientSession::read_results(CommandInitiator* thread, unsigned results, void* const* values) {
  Status s = values ? m_protocol->BinCommon::rd_parms_lst(thread, results, values) : m_protocol->rd_parms(thread);
  if (s == Protocol::OK) return true;
  // An error response ('N') is a whole message: the stream is still in step.
  if (m_protocol->resync_decode(thread) != Protocol::OK) terminate_requests(nullptr);
  return false;
}

Status SEClientSession::dispatch_event(CommandInitiator* thread, Protocol::ClientInterface* protocol,
                                       const unsigned&, const unsigned&) {
  return protocol->sk_parms(thread);
}

Status SEClientSession::skip_properties(CommandInitiator* thread) {
  for (;;) {
    unsigned modid = 0, oid = 0, prop = 0;
    unsigned char kind = 0;
    Status s = m_protocol->rd_property(thread, modid, oid, prop, kind);
    if (s == Protocol::COMPLETED) return Protocol::OK;
    if (s != Protocol::OK) return s;
    if (kind != 'N' && kind != 'T' && kind != 'F') {
      s = m_protocol->sk_value(kind, thread);
      if (s != Protocol::OK) return s;
    }
  }
}

Status SEClientSession::property_onchange(CommandInitiator* thread) { return skip_properties(thread); }

} // namespace Sid
