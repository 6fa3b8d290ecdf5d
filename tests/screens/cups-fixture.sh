#!/bin/sh
# Starts or stops a private print server for the print test: its own
# configuration, spool and socket under DIR, and one queue, PDF, made the
# default, that turns every job into a PDF file.  Nothing outside DIR changes
# except that the PDF driver writes its files into the user's home (PDF/).
#
#   cups-fixture.sh start DIR
#   cups-fixture.sh stop DIR
set -eu
action=$1
dir=$2
sock=$dir/cups.sock

case $action in
start)
  rm -rf "$dir"
  mkdir -p "$dir/conf" "$dir/spool" "$dir/state" "$dir/cache" "$dir/log"
  cat > "$dir/conf/cupsd.conf" <<CONF
LogLevel warn
Listen $sock
Browsing No
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Location /admin>
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
  cat > "$dir/conf/cups-files.conf" <<CONF
ServerRoot $dir/conf
RequestRoot $dir/spool
StateDir $dir/state
CacheDir $dir/cache
TempDir $dir/spool
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
ServerBin /usr/lib/cups
DataDir /usr/share/cups
User lp
Group lp
SystemGroup root
CONF
  setsid /usr/sbin/cupsd -f -c "$dir/conf/cupsd.conf" -s "$dir/conf/cups-files.conf" \
    > "$dir/log/cupsd.out" 2>&1 < /dev/null &
  echo $! > "$dir/cupsd.pid"
  i=0
  while [ ! -S "$sock" ]; do
    i=$((i + 1))
    if [ $i -gt 100 ]; then echo "the print server did not start" >&2; cat "$dir/log/cupsd.out" >&2; exit 1; fi
    sleep 0.1
  done
  # Without the pdftocairo renderer the PDF's text cannot be read back.
  lpadmin -h "$sock" -p PDF -E -v cups-pdf:/ -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd \
    -o pdftops-renderer-default=pdftocairo 2>/dev/null
  lpadmin -h "$sock" -d PDF
  lpstat -h "$sock" -d
  ;;
stop)
  if [ -f "$dir/cupsd.pid" ]; then
    pid=$(cat "$dir/cupsd.pid")
    kill "$pid" 2>/dev/null || true
    rm -f "$dir/cupsd.pid"
  fi
  ;;
*)
  echo "usage: $0 start|stop DIR" >&2
  exit 2
  ;;
esac
