// The TypeScript age implementation (the npm package age-encryption) as a
// peer for the interoperability tests of the post-quantum recipient type.
//
//   node age_js.mjs keygen                              prints an identity, then its recipient
//   node age_js.mjs encrypt RECIPIENT IN OUT [armor]
//   node age_js.mjs decrypt IDENTITY IN OUT             (binary or armored)
import { readFileSync, writeFileSync } from "node:fs";
import * as age from "age-encryption";

const [command, ...args] = process.argv.slice(2);
if (command === "keygen") {
  const identity = await age.generateHybridIdentity();
  console.log(identity);
  console.log(await age.identityToRecipient(identity));
} else if (command === "encrypt") {
  const encrypter = new age.Encrypter();
  encrypter.addRecipient(args[0]);
  let file = await encrypter.encrypt(new Uint8Array(readFileSync(args[1])));
  if (args[3] === "armor") file = age.armor.encode(file);
  writeFileSync(args[2], file);
} else if (command === "decrypt") {
  const decrypter = new age.Decrypter();
  decrypter.addIdentity(args[0]);
  let file = new Uint8Array(readFileSync(args[1]));
  if (Buffer.from(file.subarray(0, 10)).toString() === "-----BEGIN") file = age.armor.decode(Buffer.from(file).toString());
  writeFileSync(args[2], await decrypter.decrypt(file));
} else {
  console.error("usage: node age_js.mjs keygen | encrypt RECIPIENT IN OUT [armor] | decrypt IDENTITY IN OUT");
  process.exit(2);
}
