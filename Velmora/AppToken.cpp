#include "Velmora/AppToken.h"

#include <cstdio>
#include <memory>

#include "Velmora/registry/Registry.h"

int getKeyPair() {
  const char* path = keyFileName.c_str();
  std::unique_ptr<FILE, int (*)(FILE*)> file(fopen(path, "rb"), fclose);
  if (!file) {
    printf("Error opening app token file: %s\n", path);
    fflush(stdout);
    return 0;
  }
  if (fseek(file.get(), 0, SEEK_END) != 0) {
    printf("Error reading %s\n", path);
    fflush(stdout);
    return 0;
  }
  long size = ftell(file.get());
  if (size < 0) size = 0;
  rewind(file.get());
  apptoken_certificate_buf.assign(static_cast<size_t>(size) + 1, '\0');
  keyLen = static_cast<int>(size) + 1;
  size_t got = fread(apptoken_certificate_buf.data(), 1, static_cast<size_t>(size), file.get());
  if (got < static_cast<size_t>(size)) {
    printf("Error reading %s\n", path);
    fflush(stdout);
    return 0;
  }
  return 1;
}
