#!/bin/sh
# Re-creates the generated files in tests/data from the sources in this folder.
# Needs: python3, LibreOffice (soffice), pandoc, iconv, fortunes-zh (only for tang300-excerpt).
# Run from tests/data/src.
set -e
python3 make_fodt.py
python3 make_fodt_frames.py
python3 make_metafiles.py
soffice --headless --convert-to rtf --outdir ../rtf lo-metafiles.fodt
soffice --headless --convert-to docx --outdir ../office lo-metafiles.fodt
soffice --headless --convert-to rtf --outdir ../rtf lo-textbox-frames.fodt lo-ruby.fodt
soffice --headless --convert-to docx --outdir ../office lo-textbox-frames.fodt lo-ruby.fodt
soffice --headless --convert-to odt --outdir ../office lo-textbox-frames.fodt lo-ruby.fodt
soffice --headless --convert-to rtf --outdir ../rtf lo-zh-mixed.fodt lo-table-shading-merged.fodt \
  lo-picture-scaled.fodt lo-lists-spacing-tabs.fodt lo-multipage-zh-sb.fodt lo-rtl-arabic-hebrew.fodt
soffice --headless --convert-to 'rtf:Rich Text Format' --outdir ../rtf lo-picture-html-scaled.html
soffice --headless --convert-to doc --outdir ../office lo-zh-mixed.fodt lo-table-shading-merged.fodt
soffice --headless --convert-to xls --outdir ../office lo-three-sheets.fods
for f in xls xlsx ods; do soffice --headless --convert-to $f --outdir ../office lo-wide-sheet.fods; done
pandoc -s -t rtf pandoc-zh.md -o ../rtf/pandoc-zh-markdown.rtf
# text variants (tang300-excerpt.utf8.txt was made with:
#   sed -E 's/\x1b\[[0-9;]*m//g; s/・/·/g' /usr/share/games/fortunes/tang300 | head -120 )
T=../text
iconv -f UTF-8 -t GBK tang300-excerpt.utf8.txt > $T/zh-tang-gbk-lf.txt
sed 's/$/\r/' tang300-excerpt.utf8.txt | iconv -f UTF-8 -t GBK > $T/zh-tang-gbk-crlf.txt
{ printf '\357\273\277'; cat tang300-excerpt.utf8.txt; } > $T/zh-tang-utf8-bom.txt
cp tang300-excerpt.utf8.txt $T/zh-tang-utf8-nobom.txt
sed 's/$/\r/' tang300-excerpt.utf8.txt | iconv -f UTF-8 -t UTF-16LE | { printf '\377\376'; cat; } > $T/zh-tang-utf16le-bom-crlf.txt
iconv -f UTF-8 -t UTF-16BE tang300-excerpt.utf8.txt | { printf '\376\377'; cat; } > $T/zh-tang-utf16be-bom.txt
tr '\n' '\r' < tang300-excerpt.utf8.txt > $T/zh-tang-utf8-cr-only.txt
iconv -c -f UTF-8 -t BIG5 tang300-excerpt.utf8.txt > $T/zh-tang-big5.txt
printf '停业\n' | iconv -f UTF-8 -t GBK > $T/gbk-short-tingye.txt
printf '停业 / 前台' | iconv -f UTF-8 -t GBK > $T/gbk-short-tingye-qiantai.txt
printf '欢迎光临\r\n前台\r\n' | iconv -f UTF-8 -t GBK > $T/gbk-short-huanying-crlf.txt
head -20 tang300-excerpt.utf8.txt | sed 's/$/\r/' | iconv -f UTF-8 -t GBK > $T/gbk-plain-text-named.rtf
# AbiWord and highlight (Debian packages abiword, highlight) as two more RTF writers
abiword --to=rtf -o ../rtf/abiword-zh-mixed.rtf ../office/lo-zh-mixed.doc
abiword --to=rtf -o ../rtf/abiword-table-shading-merged.rtf ../office/lo-table-shading-merged.doc
highlight --out-format=rtf --syntax=cpp --style=edit-kwrite -i notice-source.cpp -o ../rtf/highlight-source.rtf
