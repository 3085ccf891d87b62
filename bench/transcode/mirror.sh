# Sourced by the benchmarks: the ffmpeg program's arguments for the same kind of file a profile
# made. mirror_args PROFILE OUTPUT PROFILES_JSON sets the array `args` from the codecs, frame
# size, frame rate, sample rate and channels OUTPUT has (read back with ffprobe) and the
# profile's bit-rates (from `tandrel-cli profiles --json`).

encoder() {  # the encoder the ffmpeg program uses for a codec ffprobe names
    case $1 in
        h264) echo libx264 ;; flv1) echo flv ;; msmpeg4v3) echo msmpeg4 ;; mp3) echo libmp3lame ;;
        vorbis) echo libvorbis ;; amr_nb) echo libopencore_amrnb ;; *) echo "$1" ;;
    esac
}

mirror_args() {
    local p=$1 file=$2 json=$3 vcodec="" width height frate acodec srate channels vb ab
    # An audio file has no picture stream: read meets the end at once.
    IFS=, read -r vcodec width height frate < <(ffprobe -v error -select_streams v:0 \
        -show_entries stream=codec_name,width,height,r_frame_rate -of csv=p=0 "$file") || true
    IFS=, read -r acodec srate channels < <(ffprobe -v error -select_streams a:0 \
        -show_entries stream=codec_name,sample_rate,channels -of csv=p=0 "$file")
    vb=$(jq -r ".[] | select(.index == $p) | .defaults.JobVideoBitRate" "$json")
    ab=$(jq -r ".[] | select(.index == $p) | .defaults.JobAudioBitRate" "$json")
    args=()
    if [[ -n $vcodec ]]; then
        args+=(-c:v "$(encoder "$vcodec")" -s "${width}x${height}" -r "$frate" -pix_fmt yuv420p)
        if [[ $vb -gt 0 ]]; then args+=(-b:v "$vb"); fi
    else
        args+=(-vn)
    fi
    args+=(-c:a "$(encoder "$acodec")" -ar "$srate" -ac "$channels")
    if [[ $ab -gt 0 && $acodec != pcm_* && $acodec != flac ]]; then args+=(-b:a "$ab"); fi
    # What the table shows of the output.
    kind="${file##*.} ${vcodec:+$vcodec ${width}x$height+}$acodec"
}
