# The Debian 12 packages Corvanta needs, read by install-deps.sh and by the
# check that every program the tests and scripts call comes from one of them.

# Building and running the program (and the virtual display run.sh uses when
# there is no display).
run_packages=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libgl1-mesa-dev
    libcups2-dev libsqlite3-dev libebook-contacts1.2-dev qtkeychain-qt6-dev
    fonts-liberation
    xvfb xauth
)

# What the tests, benchmarks, fuzzing and the install check add.
test_packages=(
    locales
    cups cups-bsd cups-daemon cups-client
    x11-apps x11-utils xdotool imagemagick poppler-utils
    sqlite3 clang libclang-rt-14-dev ninja-build ccache
    desktop-file-utils appstream
    radicale xandikos vdirsyncer khard python3-vobject apache2-utils openssl
    gnome-keyring dbus-x11 libsecret-tools
)

# Installed without their recommended packages: libebook-contacts' would pull
# in the whole address-book service.
without_recommends=(libebook-contacts1.2-dev locales)
