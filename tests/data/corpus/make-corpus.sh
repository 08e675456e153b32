#!/usr/bin/env bash
# Regenerates the corpus of ordinary files that the plausibility judge must accept: every
# file is made here from text written for this corpus, tones and test patterns, or (fonts)
# from DejaVu, whose licence allows it to be copied and changed.
# Needs (Debian): python3 python3-pil fonttools woff2 fonts-dejavu-core gzip xz-utils bzip2
# zstd p7zip-full tar cpio binutils g++ sqlite3 ghostscript sox lame vorbis-tools flac ffmpeg
# dpkg-dev openssl gnupg.
set -euo pipefail
out="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export SOURCE_DATE_EPOCH=1700000000 TZ=UTC LC_ALL=C.UTF-8
# Debian's own python3, which has the Debian Python modules above.
export PATH="/usr/bin:/bin:$PATH"
cd "$work"

python3 - "$out" <<'PY'
import io, json, random, struct, sys, zipfile, zlib
out = sys.argv[1]
random.seed(8)

def write(name, data):
    with open(f"{out}/{name}", "wb") as f:
        f.write(data)

english = ("The ferry leaves the harbour at seven, and on calm mornings the gulls follow it "
           "as far as the lighthouse. Passengers drink coffee on the upper deck, read the "
           "paper, or watch the islands slide past one by one. ")
german = "Über die Brücke gehen täglich Fußgänger, Radfahrer und Händler mit großen Körben. "
french = "Le marché ouvre à l'aube ; on y trouve des pêches, du café et des crêpes chaudes. "
russian = "Паром уходит из гавани в семь часов, и в тихое утро чайки летят за ним до маяка. "
japanese = "朝七時にフェリーが港を出ると、穏やかな日にはカモメが灯台まで追いかけてくる。"
chinese = "早上七点渡轮离开港口，天气好的时候海鸥会一直跟到灯塔。乘客们在甲板上喝咖啡。"

mixed = "\n".join([english * 3, german * 2, french * 2, russian * 2, japanese * 2, chinese * 2])
write("text-utf8.txt", (mixed + "\n").encode())
write("text-utf8-bom.txt", ("\ufeff" + english * 8 + "\n").encode())
write("text-utf16le.txt", ("\ufeff" + mixed + "\r\n").encode("utf-16-le"))
write("text-utf16be.txt", ("\ufeff" + mixed + "\n").encode("utf-16-be"))
write("text-utf16le-nobom.txt", (russian * 7 + "\r\n").encode("utf-16-le"))
write("text-cp1252.txt", ((german + french) * 8 + "\r\n").encode("cp1252"))
write("text-cp1251.txt", (russian * 13 + "\r\n").encode("cp1251"))
write("text-shift_jis.txt", (japanese * 16 + "\r\n").encode("shift_jis"))
write("text-gbk.txt", (chinese * 14 + "\r\n").encode("gbk"))
write("text-short.txt", b"A note shorter than the sample the judge needs.\n")

write("source.c", b"""#include <stdio.h>
#include <stdlib.h>

/* Prints the running mean of the numbers given on the command line. */
struct stats {
    double sum;
    unsigned long count;
};

static void add(struct stats *s, double value)
{
    s->sum += value;
    s->count++;
}

int main(int argc, char **argv)
{
    struct stats s = {0.0, 0};
    for (int i = 1; i < argc; i++) {
        char *end = NULL;
        double value = strtod(argv[i], &end);
        if (end == argv[i] || *end != '\\0') {
            fprintf(stderr, "not a number: %s\\n", argv[i]);
            return 2;
        }
        add(&s, value);
        printf("%lu values, mean %.3f\\n", s.count, s.sum / (double)s.count);
    }
    return 0;
}
""")
write("source.py", b'''#!/usr/bin/env python3
"""Counts the words of each file named on the command line."""
import collections
import sys


def count_words(path):
    counts = collections.Counter()
    with open(path, encoding="utf-8") as f:
        for line in f:
            counts.update(word.strip(".,;:!?").lower() for word in line.split())
    return counts


def main(paths):
    total = collections.Counter()
    for path in paths:
        counts = count_words(path)
        print(f"{path}: {sum(counts.values())} words, {len(counts)} different")
        total.update(counts)
    for word, n in total.most_common(10):
        print(f"{n:6d} {word}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
''')
write("script.sh", b'''#!/bin/sh
# Backs up the folders named on the command line into dated archives.
set -eu
target="${BACKUP_DIR:-$HOME/backup}"
mkdir -p "$target"
stamp=$(date +%Y-%m-%d)
for folder in "$@"; do
    if [ ! -d "$folder" ]; then
        echo "skipping $folder: not a folder" >&2
        continue
    fi
    name=$(basename "$folder")
    tar -czf "$target/$name-$stamp.tar.gz" -C "$(dirname "$folder")" "$name"
    echo "saved $folder"
done
find "$target" -name '*.tar.gz' -mtime +30 -print -delete
''')

rows = ["date,station,temperature_c,rain_mm,wind_kmh"]
for day in range(1, 61):
    for station in ("north", "harbour", "hill"):
        rows.append(f"2024-03-{(day - 1) % 28 + 1:02d},{station},{random.uniform(-3, 18):.1f},"
                    f"{random.choice([0, 0, 0, 0.2, 1.4, 3.8]):.1f},{random.randint(0, 55)}")
write("data.csv", ("\n".join(rows) + "\n").encode())

records = [{"id": i, "name": f"item {i}", "price": round(random.uniform(1, 90), 2),
            "tags": random.sample(["red", "large", "sale", "new", "eco"], 2),
            "in_stock": random.random() > 0.3} for i in range(40)]
write("data.json", json.dumps({"items": records}, indent=2).encode())
write("data.ndjson", "".join(json.dumps(r) + "\n" for r in records).encode())

xml = ['<?xml version="1.0" encoding="UTF-8"?>', "<catalog>"]
for r in records[:30]:
    xml.append(f'  <item id="{r["id"]}"><name>{r["name"]}</name><price>{r["price"]}</price></item>')
xml.append("</catalog>")
write("data.xml", ("\n".join(xml) + "\n").encode())

write("page.html", f"""<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Ferry timetable</title>
<style>table {{ border-collapse: collapse; }} td, th {{ padding: 4px 8px; }}</style>
</head>
<body>
<h1>Ferry timetable</h1>
<p>{english}</p>
<table>
<tr><th>Departure</th><th>Arrival</th><th>Days</th></tr>
{"".join(f"<tr><td>{h:02d}:15</td><td>{h + 1:02d}:05</td><td>Mon-Sat</td></tr>" for h in range(6, 22))}
</table>
</body>
</html>
""".encode())

write("readme.md", f"""# Ferry notes

A small collection of notes about the island ferry.

## Timetable

| Departure | Arrival |
|-----------|---------|
{"".join(f"| {h:02d}:15 | {h + 1:02d}:05 |" + chr(10) for h in range(6, 22))}
## Remarks

- {english}
- Tickets are sold on board; cards are accepted.
- Bicycles travel free outside the rush hours.

```sh
curl -s https://ferry.example/timetable.csv | column -t -s,
```
""".encode())

write("config.ini", ("; settings for the harbour display\n" + "".join(
    f"[screen{i}]\nbrightness={random.randint(10, 100)}\nrotate=false\nfont=DejaVu Sans\n\n"
    for i in range(20))).encode())
write("config.yaml", ("# harbour display settings\nscreens:\n" + "".join(
    f"  - id: {i}\n    brightness: {random.randint(10, 100)}\n    rotate: false\n"
    for i in range(30))).encode())
write("server.log", "".join(
    f"2024-03-{d:02d}T{h:02d}:{m:02d}:00Z INFO request id={random.randint(1000, 9999)} "
    f"path=/timetable status={random.choice([200, 200, 200, 304, 404])} ms={random.randint(1, 90)}\n"
    for d in range(1, 4) for h in range(0, 24, 2) for m in (5, 35)).encode())

write("doc.rtf", ("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Times New Roman;}}\n\\f0\\fs24 "
                  + "\\par\n".join([english] * 6) + "\\par\n}\n").encode())

write("doc.ps", ("%!PS-Adobe-3.0\n%%Pages: 1\n%%EndComments\n/Times-Roman findfont 12 scalefont setfont\n"
                 + "".join(f"72 {740 - 16 * i} moveto (Line {i}: the ferry leaves at seven.) show\n"
                           for i in range(40))
                 + "showpage\n%%EOF\n").encode())

svg = ['<?xml version="1.0" encoding="UTF-8"?>',
       '<svg xmlns="http://www.w3.org/2000/svg" width="200" height="200" viewBox="0 0 200 200">']
for i in range(25):
    svg.append(f'  <circle cx="{random.randint(0, 200)}" cy="{random.randint(0, 200)}" '
               f'r="{random.randint(5, 30)}" fill="#{random.randint(0, 0xFFFFFF):06x}" opacity="0.6"/>')
svg.append("</svg>")
write("image.svg", ("\n".join(svg) + "\n").encode())

def office(name, files, mimetype=None):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
        if mimetype:
            z.writestr(zipfile.ZipInfo("mimetype", (2024, 1, 1, 0, 0, 0)), mimetype,
                       compress_type=zipfile.ZIP_STORED)
        for path, text in files.items():
            z.writestr(zipfile.ZipInfo(path, (2024, 1, 1, 0, 0, 0)), text,
                       compress_type=zipfile.ZIP_DEFLATED)
    write(name, buffer.getvalue())

ct = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/><Default Extension="xml" ContentType="application/xml"/>{}</Types>'
rels = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="{}"/></Relationships>'
paragraphs = "".join(f"<w:p><w:r><w:t>{english} ({i})</w:t></w:r></w:p>" for i in range(12))
office("doc.docx", {
    "[Content_Types].xml": ct.format('<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/>'),
    "_rels/.rels": rels.format("word/document.xml"),
    "word/document.xml": '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"><w:body>' + paragraphs + "</w:body></w:document>",
})
cells = "".join(f'<row r="{r}">' + "".join(f'<c r="{c}{r}"><v>{random.randint(0, 999)}</v></c>' for c in "ABCDEF") + "</row>" for r in range(1, 41))
office("sheet.xlsx", {
    "[Content_Types].xml": ct.format('<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/><Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'),
    "_rels/.rels": rels.format("xl/workbook.xml"),
    "xl/workbook.xml": '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets><sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets></workbook>',
    "xl/_rels/workbook.xml.rels": '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/></Relationships>',
    "xl/worksheets/sheet1.xml": '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>' + cells + "</sheetData></worksheet>",
})
odf_manifest = '<?xml version="1.0" encoding="UTF-8"?>\n<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" manifest:version="1.2"><manifest:file-entry manifest:full-path="/" manifest:media-type="application/vnd.oasis.opendocument.text"/><manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml"/></manifest:manifest>'
office("doc.odt", {
    "META-INF/manifest.xml": odf_manifest,
    "content.xml": '<?xml version="1.0" encoding="UTF-8"?>\n<office:document-content xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2"><office:body><office:text>' + "".join(f"<text:p>{i}. {random.choice([english, german, french, russian])}</text:p>" for i in range(30)) + "</office:text></office:body></office:document-content>",
}, mimetype="application/vnd.oasis.opendocument.text")

# Images: a smooth picture with some noise, as photographs and drawings have.
from PIL import Image, ImageDraw
image = Image.new("RGB", (96, 64))
pixels = image.load()
for y in range(64):
    for x in range(96):
        pixels[x, y] = ((x * 5 + random.randint(0, 40)) % 256, (y * 7 + random.randint(0, 40)) % 256,
                        (x * y // 16 + random.randint(0, 40)) % 256)
draw = ImageDraw.Draw(image)
draw.ellipse((20, 10, 70, 55), outline=(255, 255, 255), width=3)
image.save(f"{out}/image.png")
image.save(f"{out}/image.jpg", quality=85)
image.save(f"{out}/image.gif")
image.save(f"{out}/image.webp", quality=80)
image.save(f"{out}/image.bmp")
image.save(f"{out}/image.tiff")
image.save(f"{out}/image.ppm")
image.resize((32, 32)).save(f"{out}/icon.ico", sizes=[(32, 32)])
PY

# Compressed copies and archives of the text above.
cat "$out/text-utf8.txt" "$out/data.csv" "$out/data.json" "$out/server.log" >bundle.txt
gzip -9 -n -c bundle.txt >"$out/bundle.txt.gz"
xz -9 -c bundle.txt >"$out/bundle.txt.xz"
bzip2 -9 -c bundle.txt >"$out/bundle.txt.bz2"
zstd -q -19 -c bundle.txt >"$out/bundle.txt.zst"
mkdir -p tree/notes
cp "$out/text-utf8.txt" "$out/source.c" "$out/data.csv" tree/notes/
touch -d @"$SOURCE_DATE_EPOCH" tree/notes/* tree/notes tree
(cd tree && python3 -c '
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    for name in ("notes/text-utf8.txt", "notes/source.c", "notes/data.csv"):
        z.write(name)
' "$out/archive.zip")
tar --sort=name --owner=0 --group=0 --numeric-owner --mtime=@"$SOURCE_DATE_EPOCH" \
    -cf "$out/archive.tar" -C tree notes
gzip -9 -n -c "$out/archive.tar" >"$out/archive.tar.gz"
rm -f "$out/archive.7z"
(cd tree && 7z a -bd -mtm=off -mtc=off -mta=off "$out/archive.7z" notes >/dev/null)
(cd tree && find notes | LC_ALL=C sort | cpio --quiet -o -H newc --reproducible >"$out/archive.cpio")

# Programs: an executable, an object file and a static library built here.
cat >tool.c <<'C'
#include <stdio.h>
int main(int argc, char **argv) {
    for (int i = 1; i < argc; i++) printf("%d: %s\n", i, argv[i]);
    return argc > 1 ? 0 : 1;
}
C
gcc -Os -s -o "$out/program.elf" tool.c
gcc -Os -c -o "$out/object.o" tool.c
rm -f "$out/library.a"
ar rcsD "$out/library.a" "$out/object.o"

# A Debian package holding the script.
mkdir -p pkg/DEBIAN pkg/usr/bin
cp "$out/script.sh" pkg/usr/bin/ferry-backup
printf 'Package: ferry-backup\nVersion: 1.0\nArchitecture: all\nMaintainer: Corpus <corpus@example.invalid>\nDescription: backs up folders\n' >pkg/DEBIAN/control
find pkg -exec touch -d @"$SOURCE_DATE_EPOCH" {} +
dpkg-deb --root-owner-group -Zxz --build pkg "$out/package.deb" >/dev/null

# A database.
rm -f "$out/data.sqlite"
sqlite3 "$out/data.sqlite" <<'SQL'
CREATE TABLE departures (id INTEGER PRIMARY KEY, harbour TEXT, time TEXT, seats INTEGER);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 60)
INSERT INTO departures (harbour, time, seats) SELECT 'harbour ' || (i % 5), printf('%02d:%02d', i % 24, (i * 7) % 60), i * 3 FROM n;
SQL

# A document.
gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pdfwrite -o "$out/doc.pdf" "$out/doc.ps"

# Sound: a short chord with a little noise, in the common formats.
sox -R -n -r 22050 -c 1 -b 16 tone.wav synth 1.5 sine 440 sine 554 sine 659 remix - \
    synth 1.5 whitenoise amod 0.02 gain -n -3 2>/dev/null || \
    sox -R -n -r 22050 -c 1 -b 16 tone.wav synth 1.5 sine 440 gain -3
sox -R tone.wav -r 8000 "$out/sound.wav" trim 0 1.0
flac -s -f --best -o "$out/sound.flac" tone.wav
oggenc -Q -q 0 --serial 8 -o "$out/sound.ogg" tone.wav
lame --quiet -b 32 tone.wav "$out/sound.mp3"
lame --quiet -b 32 --id3v2-only --tt "Chord" --ta "Corpus" tone.wav "$out/sound-id3.mp3"

# Sound with nothing left to compress: a second of white noise, as MP3 frames with no tag and
# no information frame, as MPEG-1 layer II frames, and as AAC in ADTS frames.
sox -R -n -r 22050 -c 1 -b 16 noise.wav synth 1 whitenoise gain -n -3
lame --quiet -t -b 64 noise.wav "$out/sound-noise.mp3"
ffmpeg -loglevel error -y -i noise.wav -ar 32000 -c:a mp2 -b:a 64k -fflags +bitexact \
    -map_metadata -1 -f mp2 "$out/sound-noise.mp2"
ffmpeg -loglevel error -y -i noise.wav -c:a aac -b:a 64k -fflags +bitexact -map_metadata -1 \
    -f adts "$out/sound-noise.aac"

# Files encrypted by other programs. Their salts are random, so each run makes other bytes of
# the same kind.
openssl enc -aes-256-cbc -pbkdf2 -pass pass:corpus -in "$out/readme.md" -out "$out/encrypted.openssl"
gpg --batch --yes --homedir "$work" --passphrase corpus --pinentry-mode loopback -c \
    --compress-algo none -o "$out/encrypted.gpg" "$out/readme.md" 2>/dev/null
# And to two public keys, RSA and ECDH (keys made here and thrown away).
gpg --batch --homedir "$work" --passphrase '' --quick-gen-key "RSA <rsa@example.invalid>" \
    rsa2048 encrypt 1d 2>/dev/null
gpg --batch --homedir "$work" --passphrase '' --quick-gen-key "ECDH <ecdh@example.invalid>" \
    ed25519 sign 1d 2>/dev/null
ecdh=$(gpg --homedir "$work" --with-colons -k ecdh@example.invalid 2>/dev/null |
    awk -F: '/^fpr/ {print $10; exit}')
gpg --batch --homedir "$work" --passphrase '' --quick-add-key "$ecdh" cv25519 encr 1d 2>/dev/null
gpg --batch --yes --homedir "$work" --trust-model always -e -r rsa@example.invalid \
    -r ecdh@example.invalid -o "$out/encrypted-to-keys.gpg" "$out/readme.md" 2>/dev/null

# Keys and signatures, as key backups and keyrings hold them (a signing key made here, under a
# passphrase, and thrown away with the others).
gpg --batch --homedir "$work" --passphrase corpus --pinentry-mode loopback \
    --quick-gen-key "Signer <signer@example.invalid>" rsa2048 sign 1d 2>/dev/null
gpg --batch --homedir "$work" --export signer@example.invalid ecdh@example.invalid >"$out/keys.pgp"
gpg --batch --homedir "$work" --passphrase corpus --pinentry-mode loopback \
    --export-secret-keys signer@example.invalid >"$out/secret-key.pgp"
gpg --batch --homedir "$work" --passphrase '' --pinentry-mode loopback \
    --export-secret-keys ecdh@example.invalid >"$out/secret-key-clear.pgp"
sign() {
    gpg --batch --yes --homedir "$work" --passphrase corpus --pinentry-mode loopback "$@" 2>/dev/null
}
sign -u signer@example.invalid --detach-sign -o "$out/readme.md.sig" "$out/readme.md"
sign -u ecdh@example.invalid --detach-sign -o "$out/readme.md.ed25519.sig" "$out/readme.md"
sign -u signer@example.invalid --sign -o "$out/signed.gpg" "$out/readme.md"
sign -u signer@example.invalid --sign --compress-algo none -o "$out/signed-uncompressed.gpg" \
    "$out/readme.md"
sign -u signer@example.invalid --sign --compress-algo bzip2 -o "$out/signed-bzip2.gpg" \
    "$out/readme.md"
# A NIST P-384 key, its signature of data read from a pipe (a literal packet in parts), and
# an export of secret subkeys, whose primary key is a stub.
gpg --batch --homedir "$work" --passphrase '' --pinentry-mode loopback \
    --quick-gen-key "P384 <p384@example.invalid>" nistp384 default 1d 2>/dev/null
gpg --batch --homedir "$work" --export p384@example.invalid >"$out/keys-p384.pgp"
gpg --batch --homedir "$work" --export-secret-subkeys signer@example.invalid \
    --passphrase corpus --pinentry-mode loopback >"$out/secret-subkeys.pgp" 2>/dev/null
sign -u p384@example.invalid --sign <"$out/readme.md" >"$out/signed-from-pipe.gpg"

# Video: two seconds of the test pattern.
ffmpeg -loglevel error -y -f lavfi -i testsrc=size=96x64:rate=10 -t 2 -pix_fmt yuv420p \
    -c:v libx264 -preset veryslow -crf 40 -an -fflags +bitexact -map_metadata -1 "$out/video.mp4"
ffmpeg -loglevel error -y -f lavfi -i testsrc=size=96x64:rate=10 -t 2 \
    -c:v libvpx -b:v 40k -an -fflags +bitexact -map_metadata -1 "$out/video.webm"

# Fonts: DejaVu Sans cut down to the basic Latin letters.
dejavu=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
pyftsubset "$dejavu" --unicodes=U+0020-007E --output-file="$out/font.ttf" 2>/dev/null
pyftsubset "$dejavu" --unicodes=U+0020-007E --flavor=woff --output-file="$out/font.woff" 2>/dev/null
rm -f "$out/font.woff2"
cp "$out/font.ttf" font.ttf && woff2_compress font.ttf >/dev/null && cp font.woff2 "$out/font.woff2"

ls -l "$out" | tail -n +2 | wc -l
