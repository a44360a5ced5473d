#include "Velmora/registry/Registry.h"

#include "Velmora/registry/Paths.h"

std::map<std::string, S_User> users;
std::map<int, S_Skype> skypes;
std::map<std::string, S_Skypegroup> skypegroups;
std::map<int, S_Dialroute> dialroutes;
std::map<std::string, std::string> maproute;
S_Config gwconfig;

ReadXml* rdxml = nullptr;
CommandInvoker* invoker = nullptr;

uint32_t workchannels = 0;

std::vector<S_User> v_cdr;
std::vector<S_User> v_state;
int countcdr = 0;
std::mutex cond_prot_lock;
std::condition_variable cond_prot;

SkypeMutex m_usersmutex;
SkypeMutex workmutex;
SkypeMutex cdrmutex;
SkypeMutex statemutex;

GW_SIPDATA_THREAD gw_sipdata_thread;

const std::string keyFileName = gw_config_path("linux.pem");
std::vector<char> apptoken_certificate_buf;
int keyLen = 0;
const int numEventThreads = 32;
const char* const inetAddr = "127.0.0.1";
std::string myAccountName;
std::string myAccountPsw;
pthread_t sipreg_thread_id = {};
pthread_t rtp_thread_id = {};
