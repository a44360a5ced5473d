// The account: login and logout through STATUS and LOGOUTREASON changes,
// and the balance.

#include "Simulator/ApiIds.h"
#include "Simulator/Model.h"

namespace velsim {

using namespace api;

void Model::set_status(uint32_t s) {
  m_account.status = s;
  change(mod::ACCOUNT, m_account.oid, prop::ACC_STATUS);
}

void Model::login(const std::string& password) {
  bool good = !m_settings.password || *m_settings.password == password;
  m_log.printf("ACCT", "login of %s with %s password", m_name.c_str(), good ? "the right" : "a wrong");
  uint32_t epoch = ++m_account.epoch;
  if (m_account.status == status::LOGGED_IN && good) {
    // Already in: say so again, as the status the client asked about.
    set_status(status::LOGGED_IN);
    return;
  }
  m_sched.after(m_settings.login_delay_ms, [this, epoch, good] {
    std::lock_guard<std::mutex> lock(m_mutex);
    login_step(epoch, good);
  });
}

void Model::login_step(uint32_t epoch, bool good) {
  if (epoch != m_account.epoch) return;
  if (m_account.status != status::LOGGING_IN) {
    set_status(status::LOGGING_IN);
    m_sched.after(m_settings.login_delay_ms, [this, epoch, good] {
      std::lock_guard<std::mutex> lock(m_mutex);
      login_step(epoch, good);
    });
    return;
  }
  if (good) {
    m_account.logoutreason = 0;
    set_status(status::LOGGED_IN);
    m_log.printf("ACCT", "%s logged in", m_name.c_str());
    m_voice.set_online(true);
  } else {
    m_account.logoutreason = logout::INCORRECT_PASSWORD;
    change(mod::ACCOUNT, m_account.oid, prop::ACC_LOGOUTREASON);
    set_status(status::LOGGED_OUT);
    m_log.printf("ACCT", "%s login refused: incorrect password", m_name.c_str());
  }
}

void Model::logout(uint32_t reason) {
  ++m_account.epoch;
  end_all_calls(leave::LIVE_CONNECTION_DROPPED, "account logged out");
  if (m_account.status == status::LOGGED_OUT) return;
  set_status(status::LOGGING_OUT);
  m_account.logoutreason = reason;
  change(mod::ACCOUNT, m_account.oid, prop::ACC_LOGOUTREASON);
  set_status(status::LOGGED_OUT);
  m_voice.set_online(false);
  m_log.printf("ACCT", "%s logged out, reason %u", m_name.c_str(), reason);
}

std::string Model::set_balance(unsigned balance, const std::string& currency) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!currency.empty() && currency != m_account.currency) {
    m_account.currency = currency;
    change(mod::ACCOUNT, m_account.oid, prop::ACC_BALANCE_CURRENCY);
  }
  m_account.balance = balance;
  change(mod::ACCOUNT, m_account.oid, prop::ACC_BALANCE);
  m_log.printf("ACCT", "balance %u %s", balance, m_account.currency.c_str());
  return "OK balance=" + std::to_string(balance) + " currency=" + m_account.currency;
}

std::string Model::force_logout(uint32_t reason) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_account.status == status::LOGGED_OUT) return "ERR not logged in";
  logout(reason);
  return "OK logged out reason=" + std::to_string(reason);
}

}  // namespace velsim
