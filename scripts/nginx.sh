# Sourced by the scripts that serve a CDN folder over loopback.

free_loopback_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# start_nginx ROOT PREFIX PORT [SERVER-LINES]: writes PREFIX/nginx.conf from
# scripts/nginx.conf.in, starts nginx in the background and waits until it
# accepts on PORT. Sets nginx_pid; the caller stops it.
start_nginx() {
    local root=$1 prefix=$2 port=$3 server=${4:-} conf
    shopt -u patsub_replacement 2>/dev/null || true
    mkdir -p "$prefix"
    conf=$(<"$(dirname "${BASH_SOURCE[0]}")/nginx.conf.in")
    conf=${conf//@PREFIX@/$prefix}
    conf=${conf//@PORT@/$port}
    conf=${conf//@ROOT@/$root}
    conf=${conf//@SERVER@/$server}
    printf '%s\n' "$conf" >"$prefix/nginx.conf"
    /usr/sbin/nginx -p "$prefix" -c "$prefix/nginx.conf" -e "$prefix/error.log" &
    nginx_pid=$!
    for _ in $(seq 50); do
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
        sleep 0.1
    done
    echo "nginx did not start; see $prefix/error.log" >&2
    return 1
}
