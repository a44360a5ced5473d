#ifndef SKYPEAPI_ACCOUNTSESSION_H
#define SKYPEAPI_ACCOUNTSESSION_H

#include <string>

// What the account supervision loop needs of one account's client session.
// CSkype implements it; the loop's tests put a scripted session in its place.
class AccountSession {
public:
  virtual ~AccountSession() = default;

  // True between the transport's Connected() and Disconnected().
  virtual bool is_connected() const = 0;
  // The account's login status is LOGGED_IN.
  virtual bool loggedIn() = 0;
  // SKYPEOUT_BALANCE of the account; 0 when there is no account or the read fails.
  virtual unsigned GetBalance() = 0;
  // Looks the account up and asks the runtime to log it in.
  virtual void login_with_account(const std::string& name, const std::string& password) = 0;
  // Closes the connection and ends the session's threads.
  virtual void stop() = 0;
};

#endif
