#!/bin/sh
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
