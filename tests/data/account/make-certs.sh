#!/bin/sh
# Regenerates the test CA, the 127.0.0.1 server certificate signed by it, and
# an unrelated self-signed certificate for 127.0.0.1 (a stranger the client
# must refuse). Run from this folder; valid for 100 years.
set -e
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 36500 \
  -subj "/CN=Mirvok Test CA" -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign,cRLSign"
openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj "/CN=127.0.0.1"
printf 'subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' > server.ext
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem \
  -days 36500 -extfile server.ext
openssl req -x509 -newkey rsa:2048 -nodes -keyout stranger.key -out stranger.pem -days 36500 \
  -subj "/CN=127.0.0.1" -addext "subjectAltName=IP:127.0.0.1"
rm -f server.csr server.ext ca.srl
