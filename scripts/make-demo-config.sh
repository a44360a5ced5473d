#!/usr/bin/env bash
# Writes a demo configuration directory for the gateway: two SIP accounts,
# two Skype accounts (served by the runtime simulator), a group, dial routes,
# a SkypeOut route file and an application token (a self-signed certificate
# with its key, which the gateway presents as TLS server to the runtimes).
#   scripts/make-demo-config.sh DIR [SIP_PORT]
set -euo pipefail
dir=${1:?usage: make-demo-config.sh DIR [SIP_PORT]}
sip_port=${2:-5060}
mkdir -p "$dir"

cat > "$dir/sip.conf" <<CONF
[1001]
disname=Front_desk
authname=1001
secret=demo1001
regsip=no
host=127.0.0.1
port=5070
codec=mulaw
status=unregisted
[1002]
disname=Back_office
authname=1002
secret=demo1002
regsip=no
host=127.0.0.1
port=5070
codec=alaw
status=unregisted
CONF

cat > "$dir/sip_general.conf" <<CONF
[general]
localip=127.0.0.1
port=$sip_port
DtmfLength=20
RegSipInterval=60
language=English
codec=mulaw
CONF

cat > "$dir/skypes.conf" <<CONF
[demo.alice]
pwd=alice-secret
totaltime=0
balance=0
status=offline
[demo.bob]
pwd=bob-secret
totaltime=0
balance=0
status=offline
CONF

cat > "$dir/skype_groups.conf" <<CONF
[demo]
skypes=demo.alice,demo.bob
limitcalls=50
limitcalltimes=600
outcase=times
interval=0
CONF

cat > "$dir/routing.conf" <<CONF
[sip_to_skype]
order=1
from_channel=sip:1001
to_channel=demo
dialmode=twostage
dial_pattern=
[skype_to_sip]
order=2
from_channel=skype:demo.alice
to_channel=sip:1002
dialmode=directdial
directsipnum=1002
CONF

cat > "$dir/skyperoute.conf" <<CONF
[skypeout]
skype=demo.alice
dial_pattern=5551000|echo123,5551001|demo.bob
CONF

if [ ! -s "$dir/linux.pem" ]; then
  key=$(mktemp) cert=$(mktemp)
  openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=velmora-demo" \
    -keyout "$key" -out "$cert" >/dev/null 2>&1
  cat "$cert" "$key" > "$dir/linux.pem"
  rm -f "$key" "$cert"
fi
echo "demo configuration in $dir"
