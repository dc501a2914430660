#!/bin/sh
# Neovim's built-in client formats a buffer through codekiln-cli --lsp: the
# buffer written afterwards must be exactly what --stdout gives for the file.
# Usage: nvim_lsp_test.sh CODEKILN_CLI
set -eu
cli=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
printf 'program p\r\nif (a) then\r\nx = 1\r\nend if\r\nend program p\r\n' >"$dir/a.f90"
"$cli" --stdout "$dir/a.f90" >"$dir/expected"
cat >"$dir/init.lua" <<LUA
local id = vim.lsp.start_client({ name = 'codekiln', cmd = { '$cli', '--lsp' }, root_dir = '$dir' })
vim.lsp.buf_attach_client(0, id)
vim.wait(5000, function()
  local client = vim.lsp.get_client_by_id(id)
  return client ~= nil and client.initialized
end)
if vim.lsp.buf.format then
  vim.lsp.buf.format({ timeout_ms = 5000 })
else
  vim.lsp.buf.formatting_sync(nil, 5000)
end
vim.cmd('write! $dir/result')
vim.cmd('qall!')
LUA
# No terminal and no standard input in CI: headless, input from /dev/null,
# and a time limit so that a stuck client cannot hold the suite.
timeout 60 nvim --headless --clean -n -c "edit $dir/a.f90" -c "luafile $dir/init.lua" </dev/null >"$dir/log" 2>&1 || true
if ! cmp -s "$dir/expected" "$dir/result"; then
    echo "nvim's formatted buffer differs from --stdout's text" >&2
    cat "$dir/log" >&2
    diff "$dir/expected" "$dir/result" >&2 || true
    exit 1
fi
