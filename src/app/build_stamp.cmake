# Writes the build stamp source with the current local date and time.
# Run at every build, so each build carries the moment it was made.
string(TIMESTAMP TABEL_BUILD_DATE "%Y%m%d")
string(TIMESTAMP H "%H")
string(TIMESTAMP M "%M")
string(TIMESTAMP S "%S")
math(EXPR TABEL_BUILD_TIME "${H} * 3600 + ${M} * 60 + ${S}")
math(EXPR TABEL_BUILD_DATE "${TABEL_BUILD_DATE}")
configure_file(${IN} ${OUT}.tmp @ONLY)
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
