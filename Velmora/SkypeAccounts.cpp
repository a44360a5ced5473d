#include "Velmora/SkypeAccounts.h"

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "SkypeApi/CSkype.h"
#include "Tools/ReadXml.h"
#include "Velmora/RuntimeProcess.h"
#include "Velmora/SkypeEvents.h"
#include "Velmora/Supervision.h"
#include "Velmora/Velmora.h"
#include "Velmora/registry/Registry.h"
#include "Velmora/registry/Trace.h"
#include "VoiceHost/multirtp/SkypeMultiRTPCallbackInterfaceClient.h"
#include "VoiceHost/multirtp/SkypeMultiRTPInterfaceServer.h"

namespace {

constexpr int INIT_RETRIES = 10;
constexpr int INIT_RETRY_DELAY_S = 5;

// The threads the gateway keeps per account: its voice host thread and the
// worker that runs a restart, so that a runtime that does not come back
// holds up only its own account.
struct AccountThreads {
  std::thread voicehost;
  std::thread restart;
  std::atomic<bool> restarting{false};
};

std::mutex threads_mutex;
std::map<int, AccountThreads>& account_threads() {
  static std::map<int, AccountThreads> table;
  return table;
}
AccountThreads& threads_of(const S_Skype& sk) {
  std::lock_guard<std::mutex> lock(threads_mutex);
  return account_threads()[sk.id];
}

// The scratch copies of an account's name and password are shared by the
// start sequences and skypeAccountLogin, which run on different threads.
std::mutex scratch_mutex;
void copy_login(const S_Skype& sk, std::string& name, std::string& password) {
  std::lock_guard<std::mutex> lock(scratch_mutex);
  myAccountName = sk.name;
  myAccountPsw = sk.pwd;
  name = myAccountName;
  password = myAccountPsw;
}

void start_voicehost(Velmora* gateway, S_Skype& sk) {
  AccountThreads& threads = threads_of(sk);
  // The previous voice host has been told to stop; it must be gone before
  // the new one publishes its objects in the account record.
  if (threads.voicehost.joinable()) threads.voicehost.join();
  sk.arg = gateway;
  sk.voicehostrun = true;
  threads.voicehost = std::thread(&Velmora::RunVoiceHost, static_cast<void*>(&sk));
  rtp_thread_id = threads.voicehost.native_handle();
}

void disconnect_voicehost(S_Skype& sk) {
  if (auto server = sk.if_serv.get()) server->Disconnect();
  if (auto client = sk.if_client.get()) client->Disconnect();
}

// The login thread: logs the accounts in again when one reported a logout.
struct LoginRequests {
  std::mutex mutex;
  std::condition_variable wake;
  bool pending = false;
  bool started = false;
};
LoginRequests& login_requests() {
  static LoginRequests requests;
  return requests;
}

void login_thread() {
  LoginRequests& requests = login_requests();
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(requests.mutex);
      requests.wake.wait(lock, [&] { return requests.pending; });
      requests.pending = false;
    }
    Velmora::skypeAccountLogin();
  }
}

class GatewaySupervisionHooks : public SupervisionHooks {
public:
  explicit GatewaySupervisionHooks(Velmora* gateway) : d_gateway(gateway) {}

  std::shared_ptr<AccountSession> session(S_Skype& sk) override { return sk.skype.get(); }

  bool restarting(S_Skype& sk) override { return threads_of(sk).restarting.load(); }

  void restart(S_Skype& sk) override {
    disconnect_voicehost(sk);
    StartSkypeRuntime(sk);
    AccountThreads& threads = threads_of(sk);
    if (threads.restart.joinable()) threads.restart.join();  // it has finished: restarting was clear
    threads.restarting = true;
    Velmora* gateway = d_gateway;
    S_Skype* account = &sk;
    threads.restart = std::thread([gateway, account] {
      std::shared_ptr<CSkype> old = account->skype.get();
      account->skype.reset();
      if (old) old->stop();
      // Whoever still holds the old session (a call handler, a callback in
      // flight) keeps it alive; it is destroyed with the last reference.
      old.reset();
      StartSkypeAccount(gateway, *account);
      threads_of(*account).restarting = false;
    });
  }

  void kill_and_restart_runtime(S_Skype& sk) override {
    ListSkypeRuntimes();
    int pid = rdxml ? rdxml->Readenginepid(&sk) : -1;
    if (pid != -1) {
      GW_TRACE("kill -9 %d\n\n", pid);
      KillSkypeRuntime(pid);
    }
    StartSkypeRuntime(sk);
  }

  void save(S_Skype& sk, int type) override {
    if (rdxml) rdxml->SaveSkype(&sk, type);
  }

private:
  Velmora* d_gateway;
};

}  // namespace

int StartSkypeAccount(Velmora* gateway, S_Skype& sk) {
  auto session = std::make_shared<CSkype>(&gateway_skype_events(), &sk, numEventThreads);
  sk.skype.set(session);

  const int port = RuntimePort(sk.id);
  GW_TRACE("init %d \n\n", port);
  const char* token = apptoken_certificate_buf.empty() ? "" : apptoken_certificate_buf.data();
  int rc = session->init(token, inetAddr, port, "streamlog.txt", INIT_RETRIES, INIT_RETRY_DELAY_S);
  if (rc != 0) {
    GW_TRACE("\n::: Error connecting to skypekit, enter 'r' to reconnect...\n\n");
    return rc;
  }
  session->start();
  std::string name;
  std::string password;
  copy_login(sk, name, password);
  session->login_with_account(name, password);
  start_voicehost(gateway, sk);
  return 0;
}

void StartSkypeAccounts(Velmora* gateway) {
  // Each account connects on its own worker, like a restart: a runtime that
  // does not come up holds up neither the other accounts nor start-up. The
  // supervision loop leaves an account alone until its worker is done.
  for (auto& [id, sk] : skypes) {
    sk.skype.set(std::make_shared<CSkype>(&gateway_skype_events(), &sk, numEventThreads));
    AccountThreads& threads = threads_of(sk);
    threads.restarting = true;
    S_Skype* account = &sk;
    threads.restart = std::thread([gateway, account] {
      StartSkypeAccount(gateway, *account);
      threads_of(*account).restarting = false;
    });
  }
}

void request_account_logins() {
  LoginRequests& requests = login_requests();
  std::lock_guard<std::mutex> lock(requests.mutex);
  if (!requests.started) {
    // Lives as long as the process, like the gateway's other threads.
    std::thread(login_thread).detach();
    requests.started = true;
  }
  requests.pending = true;
  requests.wake.notify_one();
}

void Velmora::skypeAccountLogin() {
  for (auto& [id, sk] : skypes) {
    std::shared_ptr<CSkype> session = sk.skype.get();
    if (!session) continue;
    std::string name;
    std::string password;
    copy_login(sk, name, password);
    session->login_with_account(name, password);
  }
}

void RunAccountSupervision(Velmora* gateway) {
  static GatewaySupervisionHooks hooks(gateway);
  static SupervisionLoop loop(hooks, skypes, users, m_usersmutex);
  loop.run(supervision_pace_from_environment());
}
