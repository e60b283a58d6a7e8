#!/bin/sh
# Makes demo/site/media/sample.mp4: a 3-second moving-ball test pattern (H.264, 320x240, 30 fps)
# with a quiet 440 Hz tone (AAC). Needs gst-launch-1.0 with x264enc (gstreamer1.0-tools,
# gstreamer1.0-plugins-ugly) and avenc_aac (gstreamer1.0-libav); only to make the file once.
# Playing it back needs only the base, good and libav plug-ins.
set -eu
out="${1:-$(dirname "$0")/../demo/site/media/sample.mp4}"
gst-launch-1.0 -e \
    videotestsrc num-buffers=90 pattern=ball \
    ! video/x-raw,width=320,height=240,framerate=30/1 \
    ! videoconvert ! x264enc bitrate=400 speed-preset=slow key-int-max=30 \
    ! video/x-h264,profile=main,stream-format=avc,alignment=au ! queue ! mux. \
    audiotestsrc num-buffers=130 samplesperbuffer=1024 freq=440 volume=0.2 \
    ! audio/x-raw,rate=44100,channels=1 \
    ! audioconvert ! avenc_aac bitrate=48000 ! aacparse ! queue ! mux. \
    mp4mux name=mux faststart=true ! filesink location="$out"
ls -l "$out"
