"""ML-KEM-768 of the Python cryptography package, for the known-answer
tests: reads one request per line from the file named first and writes one
answer per line to the file named second (hex throughout).

  keygen SEED64        -> EK
  encaps EK            -> CT SS
  decaps SEED64 CT     -> SS
"""
import sys

from cryptography.hazmat.primitives.asymmetric import mlkem


def answer(words):
    if words[0] == "keygen":
        key = mlkem.MLKEM768PrivateKey.from_seed_bytes(bytes.fromhex(words[1]))
        return key.public_key().public_bytes_raw().hex()
    if words[0] == "encaps":
        public = mlkem.MLKEM768PublicKey.from_public_bytes(bytes.fromhex(words[1]))
        shared, ciphertext = public.encapsulate()
        return ciphertext.hex() + " " + shared.hex()
    if words[0] == "decaps":
        key = mlkem.MLKEM768PrivateKey.from_seed_bytes(bytes.fromhex(words[1]))
        return key.decapsulate(bytes.fromhex(words[2])).hex()
    raise ValueError(words[0])


with open(sys.argv[1]) as requests, open(sys.argv[2], "w") as answers:
    for line in requests:
        if line.strip():
            answers.write(answer(line.split()) + "\n")
