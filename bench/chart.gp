# Called by bench/chart.sh with: datafile (tab-separated rows: input, input bytes,
# program, compressed bytes, compression and restore wall s, peak RSS KiB, compression
# and restore CPU s), outfile (PNG),
# inputs (space-separated, one panel row each), subtitle (date and machine).
n = words(inputs)
set terminal pngcairo size 1200, 330 * n + 60 font "DejaVu Sans,10"
set output outfile
set datafile separator "\t"
set logscale x
set grid xtics ytics mxtics lc rgb "#dddddd"
set key off
set offsets graph 0.05, graph 0.25, graph 0.12, graph 0.12
set xlabel "MiB of input per CPU second (log scale)"
set ylabel "ratio (input / compressed)"

mib(col) = column(col) > 0 ? column(2) / 1048576.0 / column(col) : NaN
ratio = "(column(2) / column(4))"
is(name) = strcol(1) eq name
mine = "(strcol(3) eq \"quorlen\")"
# gzip's label goes below its point: it sits close under bzip2 and zstd on some inputs.
low = "(strcol(3) eq \"gzip -9\")"

set multiplot layout n, 2 title "quorlen and its peers: compression ratio against speed, one run each\n" . subtitle
do for [i = 1:n] {
  name = word(inputs, i)
  do for [phase = 1:2] {
    col = phase == 1 ? 8 : 9
    set title sprintf("%s: ratio against %s speed", name, phase == 1 ? "compression" : "restore")
    plot datafile using (is(name) && !@mine && !@low ? mib(col) : NaN):(@ratio):3 \
           with labels point pt 7 ps 1.2 lc rgb "#3366aa" offset char 0.7, char 0.6 left tc rgb "#333333", \
         datafile using (is(name) && @low ? mib(col) : NaN):(@ratio):3 \
           with labels point pt 7 ps 1.2 lc rgb "#3366aa" offset char 0.7, char -0.7 left tc rgb "#333333", \
         datafile using (is(name) && @mine ? mib(col) : NaN):(@ratio):3 \
           with labels point pt 9 ps 1.8 lc rgb "#cc2222" offset char 0.7, char 0.6 left tc rgb "#cc2222"
  }
}
unset multiplot
