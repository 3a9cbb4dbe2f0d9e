// How hard a passphrase is to guess, as zxcvbn's score: 0 (guessed at once)
// to 4 (very hard), from zxcvbn's estimate of the guesses an attacker who
// knows common passwords, words, names, dates, keyboard patterns and their
// variants would need.
#pragma once

#include <string>

namespace vesk {

// The score of a UTF-8 passphrase (0 for an empty one). Only its first 128
// bytes are looked at: the estimate costs time that grows quickly with the
// length, and anything that long scores by its beginning alone already.
int EstimateKeyStrength(const std::string& passphrase);

// zxcvbn's score for an estimate of `bits` (log2 of the guesses needed):
// below 10^3 guesses 0, 10^6 1, 10^8 2, 10^10 3, else 4.
int ScoreForBits(double bits);

}  // namespace vesk
