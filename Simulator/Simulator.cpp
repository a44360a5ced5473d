#include "Simulator/Simulator.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "Simulator/ApiSession.h"

namespace velsim {

std::string simulator_dir() {
  const char* d = getenv("VELMORA_SIM_DIR");
  return d && *d ? d : "/tmp/velmora-sim";
}

Simulator::~Simulator() {
  m_control.stop();
  m_model.reset();
  if (m_voice) m_voice->stop();
  if (m_callback) m_callback->stop();
  if (m_listen >= 0) close(m_listen);
}

bool Simulator::setup(std::string& error) {
  // The port first: a second runtime for a port in use goes at once and
  // touches nothing of the first one's.
  m_listen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(m_options.port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (m_listen < 0 || bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(m_listen, 4) != 0) {
    error = "cannot listen on 127.0.0.1:" + std::to_string(m_options.port) + ": " + strerror(errno);
    return false;
  }

  m_dir = simulator_dir();
  if (mkdir(m_dir.c_str(), 0755) != 0 && errno != EEXIST) {
    error = "cannot create " + m_dir + ": " + strerror(errno);
    return false;
  }
  const std::string base = m_dir + "/" + m_options.account;
  if (!m_log.open(base + ".log")) {
    error = "cannot open " + base + ".log: " + strerror(errno);
    return false;
  }
  m_log.printf("START", "velmora-runtime-sim -p %d -s /%s/ (pid %d)", m_options.port, m_options.account.c_str(),
               static_cast<int>(getpid()));

  Settings settings;
  std::ifstream in(base + ".conf");
  if (in) {
    std::stringstream text;
    text << in.rdbuf();
    std::vector<std::string> problems;
    settings = parse_settings(text.str(), problems);
    for (const auto& p : problems) m_log.write("CONF", base + ".conf " + p);
    m_log.write("CONF", "settings read from " + base + ".conf");
  } else {
    m_log.write("CONF", "no " + base + ".conf: any password logs in, balance 0, parties answer");
  }

  m_callback = std::make_unique<VoiceCallback>(m_log, m_stats);
  if (!m_callback->start(m_options.account, error)) return false;
  m_voice = std::make_unique<VoiceClient>(m_options.account, m_log, m_stats);
  m_model = std::make_unique<Model>(m_options.account, settings, m_log, *m_voice);
  if (!m_control.start(base + ".ctl", [this](const std::string& line) { return command(line); }, error))
    return false;
  return true;
}

int Simulator::run() {
  std::string error;
  if (!setup(error)) {
    fprintf(stderr, "velmora-runtime-sim: %s\n", error.c_str());
    m_log.write("EXIT", error);
    return 1;
  }
  printf("velmora-runtime-sim: account %s listening on 127.0.0.1:%d\n", m_options.account.c_str(), m_options.port);
  fflush(stdout);
  m_log.printf("LISTEN", "127.0.0.1:%d", m_options.port);
  while (!m_exit) {
    pollfd p{m_listen, POLLIN, 0};
    int r = poll(&p, 1, 200);
    if (r <= 0) continue;
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    int fd = accept4(m_listen, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
    if (fd < 0) continue;
    char ip[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &peer.sin_addr, ip, sizeof ip);
    m_log.printf("CONN", "client connected from %s:%d", ip, ntohs(peer.sin_port));
    ApiSession session(*m_model, m_log, m_stalled);
    session.run(fd);
  }
  m_log.write("EXIT", "exit requested");
  return 0;
}

namespace {

std::vector<std::string> words(const std::string& line) {
  std::vector<std::string> out;
  std::istringstream in(line);
  std::string w;
  while (in >> w) out.push_back(w);
  return out;
}

bool number(const std::string& s, long lo, long hi, long& out) {
  if (s.empty()) return false;
  char* end = nullptr;
  long v = strtol(s.c_str(), &end, 10);
  if (*end || v < lo || v > hi) return false;
  out = v;
  return true;
}

constexpr const char* kHelp =
    "OK commands: status | calls | info [ID] | call CALLER [TONE_HZ] | answer [ID] | reject [ID] | busy [ID] | "
    "hangup [ID] | dtmf DIGITS [ID] | chat FROM TEXT | tone HZ [ID] | balance AMOUNT [CURRENCY] | logout [REASON] | "
    "set KEY VALUE | drop | stall | resume | exit";

}  // namespace

std::string Simulator::command(const std::string& line) {
  std::vector<std::string> w = words(line);
  std::string reply;
  long n = 0, id = 0;
  const std::string cmd = w.empty() ? "" : w[0];
  auto opt_id = [&](size_t at) {
    id = 0;
    return w.size() <= at || number(w[at], 1, 1000000000, id);
  };
  if (cmd.empty()) {
    reply = "ERR empty command";
  } else if (cmd == "help") {
    reply = kHelp;
  } else if (cmd == "status" && w.size() == 1) {
    reply = m_model->status_text() + " stalled=" + (m_stalled ? "1" : "0");
  } else if (cmd == "calls" && w.size() == 1) {
    reply = m_model->calls_text();
  } else if (cmd == "info" && w.size() <= 2 && opt_id(1)) {
    reply = m_model->call_text(static_cast<uint32_t>(id));
  } else if (cmd == "call" && (w.size() == 2 || w.size() == 3)) {
    if (w.size() == 3 && !number(w[2], 0, 3900, n))
      reply = "ERR bad tone";
    else if (w[1].size() > 128)
      reply = "ERR caller too long";
    else
      reply = m_model->incoming_call(w[1], w.size() == 3 ? static_cast<int>(n) : -1);
  } else if (cmd == "answer" && w.size() <= 2 && opt_id(1)) {
    reply = m_model->remote_answer(static_cast<uint32_t>(id));
  } else if ((cmd == "reject" || cmd == "busy" || cmd == "hangup") && w.size() <= 2 && opt_id(1)) {
    reply = m_model->remote_end(static_cast<uint32_t>(id), cmd);
  } else if (cmd == "dtmf" && (w.size() == 2 || w.size() == 3) && opt_id(2)) {
    reply = m_model->remote_dtmf(static_cast<uint32_t>(id), w[1]);
  } else if (cmd == "chat" && w.size() >= 3) {
    size_t at = line.find(w[1], line.find("chat") + 4) + w[1].size();
    while (at < line.size() && line[at] == ' ') ++at;
    reply = m_model->remote_chat(w[1], line.substr(at));
  } else if (cmd == "tone" && (w.size() == 2 || w.size() == 3) && number(w[1], 0, 3900, n) && opt_id(2)) {
    reply = m_model->set_tone(static_cast<uint32_t>(id), static_cast<int>(n));
  } else if (cmd == "balance" && (w.size() == 2 || w.size() == 3) && number(w[1], 0, 2147483647, n)) {
    reply = m_model->set_balance(static_cast<unsigned>(n), w.size() == 3 ? w[2] : "");
  } else if (cmd == "logout" && w.size() <= 2) {
    if (w.size() == 2 && !number(w[1], 1, 24, n))
      reply = "ERR bad reason";
    else
      reply = m_model->force_logout(w.size() == 2 ? static_cast<uint32_t>(n) : 5);
  } else if (cmd == "set" && w.size() == 3) {
    reply = m_model->set_setting(w[1], w[2]);
  } else if (cmd == "drop" && w.size() == 1) {
    reply = m_model->drop_connection();
  } else if (cmd == "stall" && w.size() == 1) {
    m_stalled = true;
    reply = "OK stalled";
  } else if (cmd == "resume" && w.size() == 1) {
    m_stalled = false;
    reply = "OK resumed";
  } else if (cmd == "exit" && w.size() == 1) {
    m_exit = true;
    m_model->drop_connection();
    reply = "OK exiting";
  } else {
    reply = "ERR unknown or malformed command (try help)";
  }
  m_log.write("CTRL", line + " -> " + reply);
  return reply;
}

}  // namespace velsim
