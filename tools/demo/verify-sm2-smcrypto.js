// The second SM2 judge, independent of OpenSSL: npm sm-crypto checks a DER
// SEQUENCE{r, s} signature over SM3(Z || data), Z over "1234567812345678".
//   node verify-sm2-smcrypto.js SIG.der PUBKEY.der DATA
// PUBKEY.der is the SubjectPublicKeyInfo; its last 65 bytes are the point
// 04 || x || y. NODE_PATH must reach sm-crypto. Exit 0 when it verifies.
'use strict';
const fs = require('fs');
const { sm2 } = require('sm-crypto');

const [sigFile, pubFile, dataFile] = process.argv.slice(2);
const spki = fs.readFileSync(pubFile);
const point = spki.subarray(spki.length - 65);
if (point[0] !== 0x04) {
  console.error('verify-sm2-smcrypto: the public key is not an uncompressed SM2 point');
  process.exit(1);
}
const ok = sm2.doVerifySignature(fs.readFileSync(dataFile), fs.readFileSync(sigFile).toString('hex'),
  point.toString('hex'), { der: true, hash: true, userId: '1234567812345678' });
if (!ok) console.error('verify-sm2-smcrypto: the signature does not verify');
process.exit(ok ? 0 : 1);
