#!/usr/bin/env bash
# Draws the three schematic pictures of the help page and stores them as JPEG.
# Needs ImageMagick (convert) and the DejaVu fonts. Run from any folder:
#   bash resources/help/draw-schemes.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
font=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
bold=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf

# box X Y W H "text": a framed block with its caption centred.
box() {
    local x=$1 y=$2 w=$3 h=$4 t=$5
    printf -- "-fill \"#f4f4ec\" -stroke black -strokewidth 3 -draw \"rectangle %d,%d %d,%d\" " $x $y $((x + w)) $((y + h))
    printf -- "-stroke none -fill black -font %s -pointsize 24 -annotate +%d+%d \"%s\" " "$font" $((x + 14)) $((y + h / 2 + 9)) "$t"
}
# wire X1 Y1 X2 Y2: a connection with an arrow head at its end (horizontal or vertical).
wire() {
    local x1=$1 y1=$2 x2=$3 y2=$4
    printf -- "-stroke black -strokewidth 3 -draw \"line %d,%d %d,%d\" " $x1 $y1 $x2 $y2
    if [ "$y1" = "$y2" ]; then
        local d=$((x2 > x1 ? -14 : 14))
        printf -- "-fill black -draw \"polygon %d,%d %d,%d %d,%d\" " $x2 $y2 $((x2 + d)) $((y2 - 7)) $((x2 + d)) $((y2 + 7))
    else
        local d=$((y2 > y1 ? -14 : 14))
        printf -- "-fill black -draw \"polygon %d,%d %d,%d %d,%d\" " $x2 $y2 $((x2 - 7)) $((y2 + d)) $((x2 + 7)) $((y2 + d))
    fi
}
title() {
    printf -- "-stroke none -fill \"#202060\" -font %s -pointsize 34 -annotate +40+60 \"%s\" " "$bold" "$1"
}
note() {
    printf -- "-stroke none -fill \"#303030\" -font %s -pointsize 22 -annotate +%d+%d \"%s\" " "$font" $1 $2 "$3"
}
render() {
    local w=$1 h=$2 out=$3 ops=$4
    eval convert -size ${w}x${h} xc:white $ops -quality 85 "\"$here/$out\""
}

# 1: the power circuit and the measuring chain of the device.
ops="$(title 'Схема 1. Силова верига и измервателен канал')"
ops+="$(box 40 160 230 110 'Мрежа 3 x 400 V')"
ops+="$(box 360 160 230 110 'Токоизправител')"
ops+="$(box 680 160 230 110 'Звено DC')"
ops+="$(box 1000 160 230 110 'Инвертор')"
ops+="$(box 1300 160 200 110 'Товар M')"
ops+="$(wire 270 215 360 215)$(wire 590 215 680 215)$(wire 910 215 1000 215)$(wire 1230 215 1300 215)"
ops+="$(box 360 420 230 110 'Датчик Vcc')"
ops+="$(box 680 420 230 110 'Датчик It')"
ops+="$(box 1000 420 230 110 'Датчик t°C')"
ops+="$(wire 475 270 475 420)$(wire 795 270 795 420)$(wire 1115 270 1115 420)"
ops+="$(box 520 680 560 120 'Микроконтролер, АЦП 10003 отчета')"
ops+="$(wire 475 530 600 680)$(wire 795 530 795 680)$(wire 1115 530 1000 680)"
ops+="$(box 1220 690 280 100 'RS232 -> Orvik')"
ops+="$(wire 1080 740 1220 740)"
ops+="$(note 40 900 'Записи W:VA, W:TR, W:SC, W:ST, W:RS към конзолата; команди и отговори OK обратно.')"
render 1544 984 scheme1.jpg "$ops"

# 2: detection of the five emergency events.
ops="$(title 'Схема 2. Откриване на аварийните събития')"
y=140
for ev in 'RK1  претоварване по ток' 'RK2  пренапрежение в звеното DC' 'RK3  прегряване на силовите ключове' 'CFK  отпадане на фаза' 'SUK  повреда в управлението'; do
    ops+="$(box 60 $y 300 100 'Компаратор')"
    ops+="$(wire 360 $((y + 50)) 520 $((y + 50)))"
    ops+="$(box 520 $y 560 100 "$ev")"
    ops+="$(wire 1080 $((y + 50)) 1140 $((y + 50)))"
    y=$((y + 140))
done
ops+="$(box 1140 300 20 360 '')"
ops+="$(box 830 800 320 60 'W:TRtt/RKn')"
ops+="$(note 60 860 'Всяко събитие се брои в конзолата и се потвърждава с OK.')"
render 1197 886 scheme2.jpg "$ops"

# 3: the course of one emergency process as the scope page shows it.
ops="$(title 'Схема 3. Ход на авариен процес и запис на отчетите')"
ops+="-stroke black -strokewidth 3 -draw \"line 120 880 1300 880\" -draw \"line 120 880 120 150\" "
ops+="-stroke \"#c00000\" -strokewidth 4 -fill none -draw \"polyline 120,700 300,700 360,690 420,520 470,300 520,260 580,330 650,520 720,640 800,690 900,700 1300,700\" "
ops+="-stroke \"#2040a0\" -strokewidth 2 -draw \"line 420 160 420 880\" -draw \"line 800 160 800 880\" "
ops+="$(note 430 190 'начало на аварията (RKn)')"
ops+="$(note 810 190 'край на записа')"
ops+="$(note 1180 920 't, mS')"
ops+="$(note 60 160 'I, A')"
ops+="$(note 120 980 'Отчетите W:ST се добавят към графиката през стъпката на W:SC; C нулира записа.')"
render 1388 1028 scheme3.jpg "$ops"
