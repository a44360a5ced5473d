// The voice host thread of one Skype account.

#include <memory>

#include "Velmora/Velmora.h"
#include "Velmora/registry/Registry.h"
#include "Velmora/registry/Trace.h"
#include "VoiceHost/multirtp/SkypeMultiRTPCallbackInterfaceClient.h"
#include "VoiceHost/multirtp/SkypeMultiRTPInterfaceServer.h"

void* Velmora::RunVoiceHost(void* account) {
  GW_TRACE("Velmora::CreatVoicehost\n\n");
  S_Skype* sk = static_cast<S_Skype*>(account);
  if (sk && sk->arg) sk->arg->CreatVoicehost(account);
  return nullptr;
}

int Velmora::CreatVoicehost(void* account) {
  S_Skype* sk = static_cast<S_Skype*>(account);
  SEString server_key;
  SEString callback_key;
  server_key.Format("/%s/multirtp_from_skypekit_key", sk->name.c_str());
  callback_key.Format("/%s/multirtp_to_skypekit_key", sk->name.c_str());

  auto server = std::make_shared<Sid::SkypeMultiRTPInterfaceServer>();
  auto client = std::make_shared<Sid::SkypeMultiRTPCallbackInterfaceClient>();
  // Published before anything blocks, so that a stop request finds them.
  sk->cb.set(client);
  sk->if_client.set(client);
  sk->if_serv.set(server);

  std::unique_ptr<Sid::SkypeMultiRTPInterface> impl = Sid::SkypeMultiRTPInterfaceGet(client.get(), sk);
  server->set_if(impl.get());

  // A stop request that came before the objects were published is seen
  // here; one that comes later disconnects them and makes the connect fail.
  if (sk->voicehostrun) {
    server->Connect(server_key.data(), 0);
    client->Connect(callback_key.data(), 500);
    while (server->ProcessCommands() == 0 && sk->voicehostrun) {
    }
  }

  sk->if_serv.reset();
  sk->if_client.reset();
  sk->cb.reset();
  server->set_if(nullptr);
  Sid::SkypeMultiRTPInterfaceRelease(std::move(impl));
  server->Disconnect();
  client->Disconnect();
  // A thread that still holds a reference (a send in progress, a stop
  // request) keeps the object until it is done with it.
  server.reset();
  client.reset();
  GW_TRACE("MultiRTPServerTransport disconnected, exiting from multirtptesthost\n\n");
  return 0;
}
