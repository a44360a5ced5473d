#ifndef VELMORA_SKYPEACCOUNTS_H
#define VELMORA_SKYPEACCOUNTS_H

// The Skype accounts' sessions: the start sequence of one account (session
// object, connection to its runtime, login, voice host thread), the start of
// all of them, and the supervision loop that keeps them logged in.

class Velmora;
struct S_Skype;

// The start sequence of one account. Returns 0 when the session connected
// (the login is then under way), otherwise init's code; the account keeps
// its unconnected session object either way.
int StartSkypeAccount(Velmora* gateway, S_Skype& sk);

// Runs the start sequence for every account, each on a worker thread of
// its own, started in id order; returns at once.
void StartSkypeAccounts(Velmora* gateway);

// Asks the login thread to run Velmora::skypeAccountLogin; requests that
// come while one is waiting are served by the same run.
void request_account_logins();

// The supervision loop on the calling thread, for ever. Its pace is
// VELMORA_SUPERVISION_PASS_MS (default 2000 ms).
[[noreturn]] void RunAccountSupervision(Velmora* gateway);

#endif
