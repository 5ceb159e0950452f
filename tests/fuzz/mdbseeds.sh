#!/bin/sh
# Writes the .mdb fuzzer's seeds with our writer into a folder: mdbseeds.sh MDBWRITER FOLDER.
# A small table with nulls, empty and non-Latin texts; rows marked deleted; a table of more
# than 512 pages (its page map is no longer inline); catalogues holding other tables.
set -eu
writer=$1
mkdir -p "$2"
cd "$2"
article="--table Article --columns Code:50,CodeBarre:50"
printf 'A1;3760000000017\nB2;\\N\n;\nÉCROU Ω 𝄞;xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\n' | "$writer" petite.mdb $article
printf '\\DA;1\nB;2\n\\DC;\\N\n' | "$writer" supprimees.mdb $article
awk 'BEGIN { for (i = 0; i < 60000; i++) printf "%sART%06d;3%012d\n", (i % 1000 == 999 ? "\\D" : ""), i, i }' |
  "$writer" grande.mdb $article
printf 'Outils\n' >famille.rows
printf 'X;1\n' | "$writer" deux-tables.mdb --table Famille --columns Nom:20 --input famille.rows $article
rm famille.rows
printf 'X\n' | "$writer" sans-article.mdb --table Article --columns Code:20
