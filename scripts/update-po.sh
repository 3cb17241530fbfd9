#!/usr/bin/env bash
# The Chinese catalogue po/zh_CN.po against the texts the sources mark for translation (Tr, TrN,
# TrNoop in tools/, TranslateText and TranslateNoop in framework/).
#   scripts/update-po.sh           extracts them (xgettext) and merges them into po/zh_CN.po (msgmerge);
#                                  new and changed texts are then for a translator to fill in
#   scripts/update-po.sh --check   fails unless every marked text has a Chinese translation, none is
#                                  fuzzy, the catalogue holds no text the sources no longer use, and
#                                  msgfmt -c accepts it (conversions of printf-style texts kept)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
po="$root/po/zh_CN.po"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cd "$root"
find tools framework -name '*.cpp' -o -name '*.h' | LC_ALL=C sort >"$work/files"
xgettext --language=C++ --from-code=UTF-8 --keyword= --keyword=Tr --keyword=TrN:1,2 --keyword=TrNoop --keyword=TranslateText --keyword=TranslateNoop \
    --flag=Tr:1:pass-c-format --flag=TranslateText:1:pass-c-format --flag=TrN:1:pass-c-format --flag=TrN:2:pass-c-format \
    --flag=ConsolePrintf:2:c-format --flag=FormatText:1:c-format \
    --package-name=orvane-cli --no-wrap --sort-by-file --add-comments=TRANSLATORS: \
    --files-from="$work/files" --output="$work/orvane-cli.pot"

if [ "${1:-}" != "--check" ]; then
    msgmerge --quiet --no-wrap --output-file="$work/merged.po" "$po" "$work/orvane-cli.pot"
    # Texts the sources dropped go, rather than pile up as obsolete entries.
    msgattrib --no-obsolete --no-wrap --output-file="$po" "$work/merged.po"
    msgfmt --check --statistics --output-file=/dev/null "$po"
    exit 0
fi

failed=0
# Every text in the sources has a translation that is not fuzzy.
if ! msgcmp "$po" "$work/orvane-cli.pot" 2>"$work/missing"; then
    echo "Texts without a Chinese translation (run scripts/update-po.sh, then translate):" >&2
    cat "$work/missing" >&2
    failed=1
fi
# Every translation belongs to a text the sources still use.
if ! msgcmp --use-untranslated --use-fuzzy "$work/orvane-cli.pot" "$po" 2>"$work/stale"; then
    echo "Translations of texts no longer in the sources (run scripts/update-po.sh):" >&2
    cat "$work/stale" >&2
    failed=1
fi
msgfmt --check --statistics --output-file=/dev/null "$po" 2>"$work/statistics" || failed=1
cat "$work/statistics"
if grep -qE 'fuzzy|untranslated' "$work/statistics"; then
    echo "po/zh_CN.po has fuzzy or untranslated messages" >&2
    failed=1
fi
exit $failed
