#!/usr/bin/env bash
# Generates the test clip corpus with the ffmpeg command-line tool.
#
# Every video frame carries its 0-based index: the picture is a 16 x 9 grid of
# cells; cell row 0 holds the index in binary (most significant bit in column 0,
# white = 1), row 1 holds the same bits inverted, and the rest is a moving
# grey pattern with the index printed as text. Clips narrower than 16 pixels
# carry the code as one column of 32 cells instead (16 bits, then the 16
# inverted bits). tests/common/frameindex.cpp reads the index back.
#
# The colour clips (colour_*) are the exception: flat colours, two pictures
# each of a red, a green, a blue and a skin tone, encoded with a known matrix
# and range.
#
# Every audio track is a sine tone whose frequency steps each second:
# 250 Hz + 250 Hz x (whole seconds of media time), so a test can tell which
# second it hears. The second track of two_audio.mkv is a steady 3125 Hz tone.
#
# Usage: make-test-clips.sh OUTDIR
# The corpus is generated once: a stamp holding this script's checksum makes a
# second run with an unchanged script return at once.
set -euo pipefail

out=${1:?usage: make-test-clips.sh OUTDIR}
mkdir -p "$out"
stamp="$out/.corpus-stamp"
sum=$(sha1sum "$0" | cut -d' ' -f1)
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$sum" ]; then
  exit 0
fi
rm -f "$stamp"

command -v ffmpeg >/dev/null || { echo "ffmpeg command-line tool not found" >&2; exit 1; }

font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
ff=(ffmpeg -hide_banner -loglevel error -nostdin -y)

# The coded picture on a 16 x 9 canvas, scaled up without smoothing.
code_expr='if(lt(Y,1),255*mod(floor(N/pow(2,15-X)),2),if(lt(Y,2),255*(1-mod(floor(N/pow(2,15-X)),2)),64+mod(X*16+Y*8+N*4,128)))'
narrow_expr='if(lt(Y,16),255*mod(floor(N/pow(2,15-Y)),2),255*(1-mod(floor(N/pow(2,31-Y)),2)))'

# video_src WIDTH HEIGHT RATE SECONDS
video_src() {
  local w=$1 h=$2 r=$3 d=$4 label=""
  if [ "$w" -lt 16 ]; then
    echo "nullsrc=s=1x32:r=$r:d=$d,format=gray,geq=lum='$narrow_expr',scale=$w:$h:flags=neighbor,format=yuv444p"
    return
  fi
  if [ -f "$font" ] && [ "$w" -ge 160 ]; then
    label=",drawtext=fontfile=$font:text='%{frame_num}':x=(w-tw)/2:y=h*0.6:fontsize=h/8:fontcolor=white:box=1:boxcolor=black"
  fi
  echo "nullsrc=s=16x9:r=$r:d=$d,format=gray,geq=lum='$code_expr',scale=$w:$h:flags=neighbor,format=yuv420p$label"
}

# tone_src SAMPLE_RATE CHANNELS SECONDS
tone_src() {
  local rate=$1 ch=$2 d=$3 e='0.5*sin(2*PI*(250+250*floor(t))*t)' expr layout
  expr=$e
  for ((i = 1; i < ch; i++)); do expr="$expr|$e"; done
  case $ch in 1) layout=mono ;; 2) layout=stereo ;; 6) layout=5.1 ;; *) layout="${ch}c" ;; esac
  echo "aevalsrc='$expr':s=$rate:d=$d:c=$layout"
}

x264_long_gop=(-c:v libx264 -preset veryfast -pix_fmt yuv420p -x264-params keyint=250:min-keyint=250:scenecut=0:bframes=3:b-adapt=0)

make_h264_1080p25() {
  "${ff[@]}" -f lavfi -i "$(video_src 1920 1080 25 12)" -f lavfi -i "$(tone_src 48000 2 12)" \
    "${x264_long_gop[@]}" -c:a aac -b:a 128k "$out/h264_1080p25.mp4"
}
make_mpeg2_ps() {
  "${ff[@]}" -f lavfi -i "$(video_src 720 576 25 8)" -f lavfi -i "$(tone_src 48000 2 8)" \
    -c:v mpeg2video -b:v 4M -g 12 -bf 2 -c:a mp2 -b:a 192k -f mpeg "$out/mpeg2_ps.mpg"
}
make_vp9_webm() {
  "${ff[@]}" -f lavfi -i "$(video_src 640 360 25 5)" -f lavfi -i "$(tone_src 48000 2 5)" \
    -c:v libvpx-vp9 -deadline realtime -cpu-used 8 -b:v 1M -g 50 -c:a libopus -b:a 96k "$out/vp9_opus.webm"
}
make_mjpeg_avi() {
  "${ff[@]}" -f lavfi -i "$(video_src 640 480 25 5)" -f lavfi -i "$(tone_src 44100 1 5)" \
    -c:v mjpeg -q:v 3 -pix_fmt yuvj420p -c:a pcm_u8 "$out/mjpeg_u8.avi"
  # Every picture a key frame, long enough to play 100 frames backwards.
  "${ff[@]}" -f lavfi -i "$(video_src 640 360 25 10)" -f lavfi -i "$(tone_src 48000 2 10)" \
    -c:v mjpeg -q:v 3 -pix_fmt yuvj420p -c:a pcm_s16le "$out/intra_mjpeg.avi"
}
make_h264_mkv() {
  "${ff[@]}" -f lavfi -i "$(video_src 1280 720 24000/1001 6)" -f lavfi -i "$(tone_src 48000 6 6)" \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -g 48 -bf 3 -c:a aac -b:a 256k "$out/h264_23976_51.mkv"
}
make_mpeg4_mov() {
  "${ff[@]}" -f lavfi -i "$(video_src 641 361 25 5)" -f lavfi -i "$(tone_src 48000 2 5)" \
    -c:v mpeg4 -q:v 4 -g 25 -bf 2 -c:a aac -b:a 128k "$out/mpeg4_641x361.mov"
}
make_video_only() {
  "${ff[@]}" -f lavfi -i "$(video_src 320 240 30 4)" \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -g 30 "$out/video_only.mp4"
}
make_audio_only() {
  "${ff[@]}" -f lavfi -i "$(tone_src 44100 2 5)" -c:a aac -b:a 128k "$out/audio_only.mp4"
}
make_two_audio() {
  "${ff[@]}" -f lavfi -i "$(video_src 640 360 25 4)" -f lavfi -i "$(tone_src 48000 2 4)" \
    -f lavfi -i "aevalsrc='0.5*sin(2*PI*3125*t)':s=48000:d=4:c=mono" \
    -map 0 -map 1 -map 2 -c:v libx264 -preset veryfast -pix_fmt yuv420p -g 25 -c:a aac -b:a 128k "$out/two_audio.mkv"
}
make_pcm_f64() {
  "${ff[@]}" -f lavfi -i "$(video_src 320 240 25 4)" -f lavfi -i "$(tone_src 48000 2 4)" \
    -c:v mjpeg -q:v 3 -pix_fmt yuvj420p -c:a pcm_f64le "$out/pcm_f64.mov"
}
make_audio_f64_only() {
  # Sound only, in 64-bit float samples.
  "${ff[@]}" -f lavfi -i "$(tone_src 48000 2 2)" -c:a pcm_f64le "$out/audio_f64_only.mov"
}
make_long_tail() {
  # Two seconds of pictures and three minutes of sound, as 16-bit PCM: more
  # than the reader queues while it looks for the end of the pictures. A tone
  # ladder of 15 steps cannot tell three minutes apart, so the second counts
  # in base 15: channel 0 plays the ladder tone of (second mod 15), channel 1
  # that of (second div 15).
  local units='0.5*sin(2*PI*(250+250*mod(floor(t),15))*t)' fifteens='0.5*sin(2*PI*(250+250*floor(t/15))*t)'
  "${ff[@]}" -f lavfi -i "$(video_src 320 240 25 2)" -f lavfi -i "aevalsrc='$units|$fifteens':s=48000:d=180:c=stereo" \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -g 25 -c:a pcm_s16le "$out/long_tail.mkv"
}
make_narrow() {
  "${ff[@]}" -f lavfi -i "$(video_src 1 64 25 2)" -c:v ffv1 "$out/narrow_1px.mkv"
  "${ff[@]}" -f lavfi -i "$(video_src 4 64 25 2)" -c:v ffv1 "$out/narrow_4px.mkv"
}
make_start_offset() {
  # First picture at 0.5 s of container time.
  "${ff[@]}" -f lavfi -i "$(video_src 320 240 25 3)" -f lavfi -i "$(tone_src 48000 2 3)" \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -g 25 -c:a aac -output_ts_offset 0.5 "$out/start_offset.mkv"
}
make_edit_list() {
  # A stream-copied cut that starts between key frames: the mp4 keeps the
  # samples before the cut point and hides them with an edit list.
  local src="$out/.long_gop_source.mp4"
  "${ff[@]}" -f lavfi -i "$(video_src 320 240 25 12)" "${x264_long_gop[@]}" "$src"
  "${ff[@]}" -ss 3.32 -i "$src" -c copy "$out/edit_list.mp4"
  rm -f "$src"
}
make_gop_cut() {
  # Cut inside a group of pictures without re-encoding, keeping the packets
  # before the next key frame: the first 12 cannot be decoded.
  local src="$out/.gop_source.mkv"
  "${ff[@]}" -f lavfi -i "$(video_src 320 240 25 4)" -c:v libx264 -preset veryfast -pix_fmt yuv420p \
    -x264-params keyint=25:min-keyint=25:scenecut=0:bframes=3:b-adapt=0 "$src"
  "${ff[@]}" -i "$src" -ss 0.52 -c copy -copyinkf "$out/gop_cut.mkv"
  "${ff[@]}" -i "$src" -ss 0.52 -c copy -copyinkf "$out/gop_cut.ts"
  # Its first decodable picture (700) only 650 pictures in: further than the
  # player looks for it when it opens the clip.
  "${ff[@]}" -f lavfi -i "$(video_src 64 36 100 8)" -c:v libx264 -preset ultrafast -qp 10 -pix_fmt yuv420p \
    -x264-params keyint=700:min-keyint=700:scenecut=0 "$src"
  "${ff[@]}" -i "$src" -ss 0.5 -c copy -copyinkf "$out/late_key.mkv"
  rm -f "$src"
}
make_promised_more() {
  # Containers that promise more pictures than the stream holds.
  "${ff[@]}" -f lavfi -i "$(video_src 320 240 25 6)" -f lavfi -i "$(tone_src 44100 2 6)" \
    -c:v wmv2 -b:v 1M -c:a wmav2 "$out/wmv2.wmv"
  "${ff[@]}" -f lavfi -i "$(video_src 320 240 25 5)" -f lavfi -i "$(tone_src 44100 2 5)" \
    -c:v mpeg1video -b:v 1M -c:a mp2 -f mpeg "$out/mpeg1.mpg"
}
make_high_rate() {
  "${ff[@]}" -f lavfi -i "$(video_src 160 96 1000 1)" -c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 100 \
    "$out/h264_1000fps.mkv"
}
make_transport_streams() {
  "${ff[@]}" -f lavfi -i "$(video_src 320 240 30000/1001 10.01)" -f lavfi -i "$(tone_src 48000 2 10)" \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -g 30 -c:a aac "$out/h264_2997.ts"
  "${ff[@]}" -f lavfi -i "$(video_src 320 240 25 2)" -f lavfi -i "$(tone_src 48000 2 2)" \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -g 25 -c:a ac3 -f mpegts -mpegts_m2ts_mode 1 "$out/h264_ac3.m2ts"
}
make_broadcast() {
  "${ff[@]}" -f lavfi -i "$(video_src 720 576 25 2)" -f lavfi -i "$(tone_src 48000 2 2)" \
    -c:v mpeg2video -b:v 5M -g 12 -bf 2 -c:a pcm_s16le "$out/mpeg2.mxf"
  "${ff[@]}" -f lavfi -i "$(video_src 720 576 25 2)" -f lavfi -i "$(tone_src 48000 2 2)" \
    -c:v dvvideo -c:a pcm_s16le -f dv "$out/dv_pal.dv"
  "${ff[@]}" -f lavfi -i "$(video_src 720 576 25 2)" -f lavfi -i "$(tone_src 48000 2 2)" \
    -c:v mpeg2video -b:v 5M -g 12 -bf 2 -c:a ac3 -f vob "$out/mpeg2.vob"
}
make_other_containers() {
  "${ff[@]}" -f lavfi -i "$(video_src 320 240 25 2)" -f lavfi -i "$(tone_src 44100 1 2)" \
    -c:v libx264 -preset veryfast -profile:v baseline -pix_fmt yuv420p -g 25 -c:a aac -b:a 64k "$out/h264.3gp"
  "${ff[@]}" -f lavfi -i "$(video_src 320 240 25 2)" -f lavfi -i "$(tone_src 44100 2 2)" \
    -c:v libtheora -q:v 8 -c:a libvorbis "$out/theora.ogv"
  "${ff[@]}" -f lavfi -i "$(video_src 160 120 25 2)" "$out/raw.y4m"
  "${ff[@]}" -f lavfi -i "$(video_src 320 240 25 2)" -c:v mpeg2video -q:v 3 -g 12 -bf 2 -f mpeg2video \
    "$out/mpeg2_es.m2v"
  "${ff[@]}" -f lavfi -i "$(video_src 320 240 25 2)" -c:v mpeg4 -q:v 3 -g 25 -bf 2 "$out/mpeg4.nut"
}
make_timecode() {
  # Start time codes as cameras and edit systems write them; a minute and a
  # bit, so that the labels cross a minute.
  "${ff[@]}" -f lavfi -i "$(video_src 160 96 25 61)" -c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 25 \
    -timecode 01:00:00:00 "$out/timecode_25.mov"
  "${ff[@]}" -f lavfi -i "$(video_src 160 96 25 61)" -c:v mpeg2video -q:v 5 -g 12 -timecode 01:00:00:00 \
    "$out/timecode_25.mxf"
  "${ff[@]}" -f lavfi -i "$(video_src 160 96 30000/1001 61)" -c:v libx264 -preset ultrafast -pix_fmt yuv420p \
    -g 30 -timecode '00:59:59;28' "$out/timecode_2997df.mov"
  # MPEG-2 carries it in each group-of-pictures header only.
  "${ff[@]}" -f lavfi -i "$(video_src 160 96 25 61)" -c:v mpeg2video -q:v 5 -g 12 -timecode 01:00:00:00 \
    "$out/timecode_25.mpg"
}
make_huge() {
  # Two pictures, each larger than the smallest video cache (256 MB as RGB).
  "${ff[@]}" -f lavfi -i "$(video_src 9200 9200 25 0.08)" -c:v mjpeg -q:v 5 -pix_fmt yuvj420p "$out/huge_9200.avi"
}

# colour_src WIDTH HEIGHT MATRIX RANGE FORMAT: eight flat pictures, two each of
# a red, a green, a blue and a skin tone, turned into YUV with that matrix and
# range.
colour_src() {
  local w=$1 h=$2 m=$3 r=$4 f=$5 parts="" i=0
  for c in 0xDC2828 0x20C040 0x283CD2 0xE0AC8C; do
    parts="${parts}color=c=$c:s=${w}x$h:r=25:d=0.08,format=rgb24[c$i];"
    i=$((i + 1))
  done
  echo "${parts}[c0][c1][c2][c3]concat=n=4,scale=out_color_matrix=$m:out_range=$r,format=$f"
}
make_colours() {
  local x264=(-c:v libx264 -preset veryfast -qp 8)
  "${ff[@]}" -f lavfi -i "$(colour_src 720 576 bt601 tv yuv420p)" "${x264[@]}" -colorspace bt470bg \
    -color_primaries bt470bg -color_trc smpte170m -color_range tv "$out/colour_601.mp4"
  "${ff[@]}" -f lavfi -i "$(colour_src 1280 720 bt709 tv yuv420p)" "${x264[@]}" -colorspace bt709 \
    -color_primaries bt709 -color_trc bt709 -color_range tv "$out/colour_709.mp4"
  "${ff[@]}" -f lavfi -i "$(colour_src 1280 720 bt709 pc yuv420p)" "${x264[@]}" -colorspace bt709 \
    -color_primaries bt709 -color_trc bt709 -color_range pc "$out/colour_709_full.mp4"
  "${ff[@]}" -f lavfi -i "$(colour_src 1280 720 bt2020 tv yuv420p10le)" "${x264[@]}" -colorspace bt2020nc \
    -color_primaries bt2020 -color_trc smpte2084 -color_range tv "$out/colour_2020_10bit.mkv"
  # Untagged: the picture height decides the matrix.
  "${ff[@]}" -f lavfi -i "$(colour_src 1920 1080 bt709 tv yuv420p)" "${x264[@]}" "$out/colour_untagged_1080.mp4"
  "${ff[@]}" -f lavfi -i "$(colour_src 720 576 bt601 tv yuv420p)" "${x264[@]}" "$out/colour_untagged_576.mp4"
  "${ff[@]}" -f lavfi -i "$(colour_src 640 480 bt601 pc yuvj420p)" -c:v mjpeg -q:v 2 "$out/colour_mjpeg.avi"
  "${ff[@]}" -f lavfi -i "$(colour_src 1280 720 bt709 tv yuv422p10le)" -c:v prores_ks -profile:v 2 \
    -bsf:v prores_metadata=color_primaries=bt709:color_trc=bt709:colorspace=bt709 "$out/colour_prores.mov"
}
make_damaged() {
  : >"$out/empty.mp4"
  LC_ALL=C awk 'BEGIN { srand(20261208); for (i = 0; i < 65536; i++) printf "%c", int(rand() * 256) }' >"$out/random.mp4"
  printf 'This is a text file, not a movie.\n' >"$out/text.mov"
  local whole="$out/.whole.mp4" whole_mkv="$out/.whole.mkv" size
  # Cut in the middle: the mp4 index sits at the end, so the rest cannot be opened.
  "${ff[@]}" -f lavfi -i "$(video_src 320 240 25 4)" -f lavfi -i "$(tone_src 48000 2 4)" \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -g 25 -c:a aac "$whole"
  size=$(stat -c %s "$whole")
  head -c $((size / 2)) "$whole" >"$out/truncated.mp4"
  # Cut in the middle too, but Matroska opens: it plays until the data stops.
  "${ff[@]}" -i "$whole" -c copy "$whole_mkv"
  size=$(stat -c %s "$whole_mkv")
  head -c $((size / 2)) "$whole_mkv" >"$out/cut_short.mkv"
  rm -f "$whole" "$whole_mkv"
}

jobs_list=(make_h264_1080p25 make_mpeg2_ps make_vp9_webm make_mjpeg_avi make_h264_mkv make_mpeg4_mov
  make_video_only make_audio_only make_two_audio make_pcm_f64 make_audio_f64_only make_long_tail make_narrow make_start_offset
  make_edit_list make_damaged make_gop_cut make_promised_more make_high_rate make_transport_streams
  make_broadcast make_other_containers make_timecode make_huge make_colours)

# Two at a time: the machines that run this have two cores.
failed=0
running=0
for job in "${jobs_list[@]}"; do
  "$job" &
  running=$((running + 1))
  if [ "$running" -ge 2 ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
done
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
if [ "$failed" -ne 0 ]; then
  echo "generating the test clips failed" >&2
  exit 1
fi
echo "$sum" >"$stamp"
