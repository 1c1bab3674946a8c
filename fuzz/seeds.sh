#!/usr/bin/env bash
# Writes small real files of the format a fuzz target reads into DIR, made by
# the field's own tools (sox, flac, lame, oggenc, ffmpeg; for APE our own
# encoder, named by APE_TOOL), so that the fuzzer
# starts from the shapes of the format instead of "not a FLAC file". A tool
# that is missing leaves its files out; an existing DIR is filled anew.
#
# Usage: fuzz/seeds.sh TARGET DIR
set -euo pipefail

if [ $# -ne 2 ]; then
    echo "usage: $0 TARGET DIR" >&2
    exit 2
fi
target=$1
dir=$2
mkdir -p "$dir"
have() { command -v "$1" >/dev/null; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Short sources: a tenth of a second at a low rate keeps every seed small.
sources() {
    have sox || return 1
    sox -n -r 8000 -c 1 -b 16 "$tmp/mono.wav" synth 0.1 sine 440
    sox -n -r 8000 -c 2 -b 16 "$tmp/stereo.wav" synth 0.1 sine 440 sine 660
    sox -n -r 11025 -c 2 -b 24 "$tmp/stereo24.wav" synth 0.1 sine 300 sine 500
    sox -n -r 8000 -c 1 -b 8 "$tmp/mono8.wav" synth 0.1 sine 440
}

case $target in
wav_*)
    sources || exit 0
    cp "$tmp/mono.wav" "$dir/pcm16-mono.wav"
    cp "$tmp/stereo.wav" "$dir/pcm16-stereo.wav"
    cp "$tmp/mono8.wav" "$dir/pcm8.wav"
    cp "$tmp/stereo24.wav" "$dir/pcm24-extensible.wav"
    for c in mono stereo; do
        sox "$tmp/$c.wav" -e ima-adpcm "$dir/ima-$c.wav"
        sox "$tmp/$c.wav" -e ms-adpcm "$dir/ms-$c.wav"
    done
    if have ffmpeg; then
        ffmpeg -nostdin -v error -y -i "$tmp/stereo.wav" -c:a adpcm_ima_wav -block_size 256 "$dir/ffmpeg-ima.wav" || true
        ffmpeg -nostdin -v error -y -i "$tmp/mono.wav" -c:a libmp3lame -b:a 32k -f wav "$dir/mp3.wav" || true
    fi
    ;;
flac_*)
    sources || exit 0
    have flac || exit 0
    flac -s -f --no-padding -o "$dir/mono16.flac" "$tmp/mono.wav"
    flac -s -f --no-padding -8 -o "$dir/stereo16-best.flac" "$tmp/stereo.wav"
    flac -s -f --no-padding -0 --blocksize=192 -o "$dir/stereo16-small-blocks.flac" "$tmp/stereo.wav"
    flac -s -f --no-padding -o "$dir/stereo24.flac" "$tmp/stereo24.wav"
    flac -s -f -o "$dir/mono8.flac" "$tmp/mono8.wav"
    flac -s -f --no-md5-sum --no-seektable -o "$dir/no-md5.flac" "$tmp/mono.wav"
    # Through a pipe flac cannot go back to write the length.
    flac -s -f -c - <"$tmp/mono.wav" >"$dir/no-length.flac"
    # Cut inside the audio.
    head -c 600 "$dir/stereo16-best.flac" >"$dir/cut.flac"
    ;;
vorbis_*)
    sources || exit 0
    if have oggenc; then
        oggenc -Q -q 0 -o "$dir/mono.ogg" "$tmp/mono.wav"
        oggenc -Q -q 2 -o "$dir/stereo.ogg" "$tmp/stereo.wav"
        oggenc -Q -b 64 --managed -o "$dir/stereo-managed.ogg" "$tmp/stereo.wav"
        oggenc -Q -q 0 -t Title -a Artist -o "$dir/commented.ogg" "$tmp/mono.wav"
        # Two logical streams one after the other.
        cat "$dir/mono.ogg" "$dir/stereo.ogg" >"$dir/chained.ogg"
        head -c 3000 "$dir/stereo.ogg" >"$dir/cut.ogg"
    fi
    ;;
mp3_*)
    sources || exit 0
    if have lame; then
        lame --quiet -b 32 "$tmp/mono.wav" "$dir/mono-cbr.mp3"
        lame --quiet -V 6 "$tmp/stereo.wav" "$dir/stereo-vbr.mp3"
        lame --quiet -b 64 --tt Title --ta Artist --add-id3v2 "$tmp/stereo.wav" "$dir/tagged.mp3"
        lame --quiet -b 32 -t "$tmp/mono.wav" "$dir/no-info-frame.mp3"
        lame --quiet --resample 16 -b 24 "$tmp/mono.wav" "$dir/mpeg2.mp3"
        head -c 700 "$dir/stereo-vbr.mp3" >"$dir/cut.mp3"
    fi
    ;;
tag_*)
    sources || exit 0
    cp "$tmp/mono.wav" "$dir/plain.wav"
    sox "$tmp/mono.wav" --comment "Title=Song" "$dir/info.wav" 2>/dev/null || true
    if have lame; then
        lame --quiet -b 32 --tt Title --ta Artist --tl Album --ty 1999 --tn 3 --id3v1-only "$tmp/mono.wav" "$dir/id3v1.mp3"
    fi
    ;;
id3v2_*)
    # Only the head of each file: the tag and the first audio frame.
    sources || exit 0
    have lame || exit 0
    lame --quiet -b 32 --id3v2-only --id3v2-utf16 --tt $'Caf\xc3\xa9' --ta Artist --tl Album --tv TSRC=US-ABC-24-00001 \
        "$tmp/mono.wav" "$tmp/utf16.mp3"
    lame --quiet -b 32 --add-id3v2 --id3v2-latin1 --tt Title --ta Artist --pad-id3v2 "$tmp/mono.wav" "$tmp/latin1.mp3"
    if have ffmpeg; then
        for v in 3 4; do
            ffmpeg -nostdin -v error -y -i "$tmp/mono.wav" -metadata title=Title -metadata TSRC=USABC2400001 \
                -id3v2_version $v "$tmp/ffmpeg-v2$v.mp3" || true
        done
    fi
    for f in "$tmp"/*.mp3; do
        head -c 700 "$f" >"$dir/$(basename "$f")"
    done
    ;;
apetag_*)
    # mutagen writes the tag; an ID3v1 tag follows it in one of them.
    /usr/bin/python3 -c 'import mutagen' 2>/dev/null || exit 0
    head -c 300 /dev/zero >"$dir/items.ape"
    head -c 300 /dev/zero >"$dir/before-id3v1.ape"
    /usr/bin/python3 - "$dir/items.ape" "$dir/before-id3v1.ape" <<'PY'
import sys
from mutagen.apev2 import APEv2, APEBinaryValue
for name in sys.argv[1:]:
    t = APEv2()
    t['Title'] = 'Title'
    t['Artist'] = ['One', 'Two']
    t['ISRC'] = 'USABC2400001'
    t['Cover Art (Front)'] = APEBinaryValue(b'x.png\0\x89PNG')
    t.save(name)
PY
    printf 'TAG%-125s' Title >>"$dir/before-id3v1.ape"
    ;;
ogg_comments_*)
    sources || exit 0
    have oggenc || exit 0
    oggenc -Q -q 0 -t Title -a Artist -l Album -c ISRC=USABC2400001 -o "$tmp/tags.ogg" "$tmp/mono.wav"
    # The headers without the audio, and the same cut inside the comments.
    head -c 4200 "$tmp/tags.ogg" >"$dir/tags.ogg"
    head -c 120 "$tmp/tags.ogg" >"$dir/cut.ogg"
    ;;
cddb_*)
    printf '200 rock 0d000603 Probe Artist / Probe Album\r\n' >"$dir/query-one.txt"
    printf '211 Found inexact matches, list follows\r\nrock 0d000603 A / B\r\njazz 0d000603 C / D\r\n.\r\n' >"$dir/query-list.txt"
    printf '202 No match found\r\n' >"$dir/query-none.txt"
    printf '210 misc 0d000603 CD database entry follows\r\n# xmcd\r\n#\t150\r\nDISCID=0d000603\r\nDTITLE=A / B\r\nDTITLE=C\r\nDYEAR=2024\r\nDGENRE=G\r\nTTITLE0=x\\ty\r\nTTITLE1=z\\\\\r\nEXTD=e\r\n.\r\n' >"$dir/read.txt"
    ;;
musicbrainz_*)
    printf '%s' '{"releases":[{"title":"Album","date":"2019-05-01","artist-credit":[{"name":"Ann","joinphrase":" & "},{"name":"Bo"}],"media":[{"discs":[{"id":"OGeuhniCwHZPcNsc0D55pxlJlsU-"}],"tracks":[{"title":"One"},{"title":"Two"}]}]}]}' >"$dir/release.json"
    printf '%s' '{"error":"Not Found"}' >"$dir/error.json"
    ;;
accuraterip_*)
    # Answers for the four-track disc 004-0002189a-00087f33-1f02e004: a
    # header, then confidence, checksum and offset-frame checksum per track.
    header='\x04\x9a\x18\x02\x00\x33\x7f\x08\x00\x04\xe0\x02\x1f'
    tracks='\x0c\x11\x11\x11\x11\xaa\xaa\x00\x00\x0c\x22\x22\x22\x22\xbb\xbb\x00\x00\x0b\x33\x33\x33\x33\xcc\xcc\x00\x00\x02\x44\x44\x44\x44\xdd\xdd\x00\x00'
    printf "$header$tracks" >"$dir/one-chunk.bin"
    printf "$header$tracks$header$tracks" >"$dir/two-chunks.bin"
    printf "$header$tracks$header" | head -c 60 >"$dir/cut.bin"
    printf '\x02\x01\x00\x00\x00\x02\x00\x00\x00\x03\x00\x00\x00\x05\x01\x00\x00\x00\x00\x00\x00\x00\x06\x02\x00\x00\x00\x00\x00\x00\x00' >"$dir/other-disc.bin"
    ;;
cue_*)
    printf 'CATALOG 0123456789012\nFILE "disc.bin" BINARY\n  TRACK 01 AUDIO\n    ISRC USABC2400001\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    FLAGS PRE\n    INDEX 00 00:05:00\n    INDEX 01 00:05:30\n  TRACK 03 MODE1/2352\n    INDEX 01 00:09:00\n' >"$dir/disc.cue"
    ;;
ini_*)
    printf '[Recording]\nSamplesPerSec=44100\nBitsPerSample=16\n\n[Recognition]\nServer=http://127.0.0.1/\nKey=abc\n' >"$dir/settings.ini"
    printf '; comment\n[A]\nKey = value with spaces \n[B]\r\nX=1\r\n' >"$dir/odd.ini"
    ;;
acoustid_*)
    printf '%s' '{"status":"ok","results":[{"id":"9ff43b6a-4f16-427c-93c2-92307ca505e0","score":0.9,"recordings":[{"id":"cd2e7c47-16f5-46c6-a37c-a1eb7bf599ff","title":"Song","artists":[{"name":"Artist"}],"releasegroups":[{"title":"Album","type":"Album"}]}]}]}' >"$dir/answer.json"
    printf '%s' '{"status":"error","error":{"code":4,"message":"invalid API key"}}' >"$dir/error.json"
    ;;
ape_*)
    # No native encoder of the format is installed; our own (byte-exact to
    # the official one) is used when the build names it in APE_TOOL.
    sources || exit 0
    [ -n "${APE_TOOL:-}" ] && [ -x "$APE_TOOL" ] || exit 0
    for level in 1 2 3 4 5; do
        "$APE_TOOL" "c$level" "$tmp/stereo.wav" "$dir/stereo-$level.ape" >/dev/null
    done
    "$APE_TOOL" c2 "$tmp/mono.wav" "$dir/mono.ape" >/dev/null
    "$APE_TOOL" c3 "$tmp/stereo24.wav" "$dir/stereo24.ape" >/dev/null
    "$APE_TOOL" c1 "$tmp/mono8.wav" "$dir/mono8.ape" >/dev/null
    head -c 400 "$dir/stereo-2.ape" >"$dir/cut.ape"
    ;;
esac
