# Sourced by the demo and the screenshot scripts: shows the Wine session's programs another look
# for a while, and puts the prefix back as it was.
#   look_apply THEME CONTRAST DPI   THEME "light" or empty, CONTRAST "high" or empty, DPI a number
#                                   or empty; each empty one stays as the session has it
#   look_restore                    puts back every value look_apply changed
#   look_suffix THEME CONTRAST DPI  the screenshot name part for that look: "-light-hc-144dpi"
# Wine reads these values when a program starts: the visual style (ThemeManager), the system
# colours and the DPI (Control Panel\Desktop\LogPixels). Wine 8 has no high-contrast flag of its
# own (SPI_GETHIGHCONTRAST always says off, SPI_SETHIGHCONTRAST fails): a scheme is its colours,
# written where Wine keeps colours set for the session alone (SetSysColors without saving), a key
# that ends with the session. The session's start puts the style and the DPI back as well
# (tests/wine-session.sh), so an interrupted run leaves nothing behind.
# Needs WINEPREFIX, and the session's wine-run.sh as $wine_reg.

look_restore_file=""

# look_set KEY NAME TYPE DATA: sets a value, remembering how to put the old one back.
look_set() {
    local key=$1 name=$2 type=$3 data=$4 old
    old=$("$wine_reg" reg query "$key" /v "$name" 2>/dev/null | tr -d '\r' |
        awk -v n="$name" '$1 == n { $1 = ""; print; exit }' | sed 's/^ *//') || true
    if [ -n "$old" ]; then
        local old_type=${old%% *} old_data=${old#* }
        old_data=${old_data#"${old_data%%[! ]*}"}
        printf '%s\n' "reg add|$key|$name|$old_type|$old_data" >>"$look_restore_file"
    else
        printf '%s\n' "reg delete|$key|$name||" >>"$look_restore_file"
    fi
    "$wine_reg" reg add "$key" /v "$name" /t "$type" /d "$data" /f >/dev/null
}

# A high-contrast scheme of yellow text on black, in the spirit of Windows' "High Contrast #1";
# none of its colours is one of the plain look's, so a colour a page keeps of its own shows.
look_high_contrast_colours() {
    cat <<'COLOURS'
ActiveBorder 0 255 255
ActiveTitle 128 0 128
AppWorkSpace 0 0 0
Background 0 0 0
ButtonAlternateFace 192 192 192
ButtonDkShadow 128 128 0
ButtonFace 0 0 0
ButtonHilight 192 192 192
ButtonLight 128 128 128
ButtonShadow 128 128 128
ButtonText 255 255 0
GradientActiveTitle 128 0 128
GradientInactiveTitle 0 128 0
GrayText 0 255 0
Hilight 128 0 128
HilightText 255 255 0
HotTrackingColor 0 255 255
InactiveBorder 0 128 128
InactiveTitle 0 128 0
InactiveTitleText 255 255 0
InfoText 255 255 0
InfoWindow 0 0 0
Menu 0 0 0
MenuBar 0 0 0
MenuHilight 128 0 128
MenuText 255 255 0
Scrollbar 0 0 0
TitleText 255 255 0
Window 0 0 0
WindowFrame 255 255 0
WindowText 255 255 0
COLOURS
}

look_apply() {
    local theme=$1 contrast=$2 dpi=$3 name r g b
    look_restore_file=$(mktemp)
    case "$theme" in
    "") ;;
    light)
        local key='HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager'
        look_set "$key" DllName REG_SZ 'C:\windows\resources\themes\light\light.msstyles'
        look_set "$key" ColorName REG_SZ Blue
        look_set "$key" SizeName REG_SZ NormalSize
        look_set "$key" ThemeActive REG_SZ 1
        ;;
    *) echo "look: no visual style \"$theme\" (light)" >&2; return 1 ;;
    esac
    case "$contrast" in
    "") ;;
    high)
        while read -r name r g b; do
            look_set 'HKCU\Software\Wine\Temporary System Parameters\Control Panel\Colors' \
                "$name" REG_SZ "$r $g $b"
        done < <(look_high_contrast_colours)
        ;;
    *) echo "look: no contrast \"$contrast\" (high)" >&2; return 1 ;;
    esac
    if [ -n "$dpi" ]; then
        case "$dpi" in *[!0-9]*) echo "look: DPI \"$dpi\" is no number" >&2; return 1 ;; esac
        look_set 'HKCU\Control Panel\Desktop' LogPixels REG_DWORD "$dpi"
    fi
}

look_restore() {
    [ -n "$look_restore_file" ] && [ -f "$look_restore_file" ] || return 0
    local action key name type data
    # Last change first, so that a value set twice ends as it was before the first.
    while IFS='|' read -r action key name type data; do
        if [ "$action" = "reg add" ]; then
            "$wine_reg" reg add "$key" /v "$name" /t "$type" /d "$data" /f >/dev/null
        else
            "$wine_reg" reg delete "$key" /v "$name" /f >/dev/null 2>&1 || true
        fi
    done < <(tac "$look_restore_file")
    rm -f "$look_restore_file"
    look_restore_file=""
}

look_suffix() {
    local suffix=""
    [ -n "$1" ] && suffix+="-$1"
    [ -n "$2" ] && suffix+="-hc"
    [ -n "$3" ] && suffix+="-${3}dpi"
    printf '%s' "$suffix"
}
