#include <mutex>

#include "Velmora/registry/Registry.h"

// The copy is taken under the queue's own mutex; the wake-up counter is then
// raised under the writer's condition lock, so that a writer about to sleep
// cannot miss it.
namespace {

void queue_for_writer(std::vector<S_User>& queue, SkypeMutex& mutex, const S_User& user) {
  {
    std::lock_guard<SkypeMutex> lock(mutex);
    queue.push_back(user);
  }
  {
    std::lock_guard<std::mutex> lock(cond_prot_lock);
    ++countcdr;
  }
  cond_prot.notify_one();
}

}  // namespace

void addcdr(S_User& user) { queue_for_writer(v_cdr, cdrmutex, user); }

void addstate(S_User& user) { queue_for_writer(v_state, statemutex, user); }
