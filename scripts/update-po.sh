#!/usr/bin/env bash
# Brings po/en.po up to date with the texts files: new texts get an entry
# (empty, or marked fuzzy with a guess from a similar text), texts no longer
# used become obsolete "#~" entries. Translate the new entries, clear their
# "fuzzy" marks and delete the obsolete ones; the catalogue test
# (tests/po/check_catalogue.py) fails until that is done.
set -euo pipefail
cd "$(dirname "$0")/.."
pot=$(mktemp --suffix=.pot)
trap 'rm -f "$pot"' EXIT
xgettext --from-code=UTF-8 -C --keyword= --keyword=Tr --keyword=TrN:1,2 --no-location --no-wrap -o "$pot" \
  src/*/texts.h src/crypto/*/texts.h 2>/dev/null
msgmerge --quiet --no-wrap --no-location --update --backup=none po/en.po "$pot"
msgfmt --check --statistics -o /dev/null po/en.po
