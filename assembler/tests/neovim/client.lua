-- Drives Neovim's own language server client against `quellmark lsp`, as
-- a user of the editor would, and writes what it saw, one line a fact, to
-- the file RESULT: "diag LINE:COLUMN CODE" (bytes, from 1), "hover TEXT",
-- "definition LINE...", "references N", a quick fix applied, the lines after
-- a rename, and lines after formatting.
local out = {}
local function say(text) table.insert(out, text) end

vim.cmd('edit ' .. os.getenv('SOURCE'))
local id = vim.lsp.start_client({
  name = 'quellmark',
  cmd = { os.getenv('QUELLMARK'), 'lsp' },
  root_dir = vim.fn.getcwd(),
})
vim.lsp.buf_attach_client(0, id)
vim.wait(10000, function() return #vim.diagnostic.get(0) >= 3 end, 20)
for _, d in ipairs(vim.diagnostic.get(0)) do
  say(string.format('diag %d:%d-%d %s', d.lnum + 1, d.col + 1, d.end_col + 1, d.user_data.lsp.code))
end

local function ask(method, line, character, extra)
  local params = vim.lsp.util.make_text_document_params()
  params = { textDocument = params, position = { line = line, character = character } }
  for k, v in pairs(extra or {}) do params[k] = v end
  local replies = vim.lsp.buf_request_sync(0, method, params, 5000) or {}
  for _, reply in pairs(replies) do
    if reply.result then return reply.result end
  end
end

-- Positions are in UTF-16 units, which Neovim speaks by default: line 4
-- is "été:    beq  r1, r0, loop", where `loop` starts at unit 21.
local hover = ask('textDocument/hover', 4, 9)
say('hover ' .. (hover and hover.contents.value or 'none'))
hover = ask('textDocument/hover', 4, 22)
say('hover ' .. (hover and hover.contents.value:gsub('\n', ' ') or 'none'))
local definitions = ask('textDocument/definition', 4, 22) or {}
local lines = {}
for _, location in ipairs(definitions) do table.insert(lines, location.range.start.line + 1) end
say('definition ' .. table.concat(lines, ' '))
local references = ask('textDocument/references', 4, 22, { context = { includeDeclaration = true } }) or {}
say('references ' .. #references)

-- A quick fix through the editor's own code action command, which asks
-- the user to choose: the choice is taken as a user takes the only one.
vim.ui.select = function(items, _, on_choice)
  say('actions ' .. #items)
  on_choice(items[1], 1)
end
vim.api.nvim_win_set_cursor(0, { 6, 14 })
vim.lsp.buf.code_action()
vim.wait(5000, function() return vim.fn.getline(6):find('loop') ~= nil end, 20)
say('fixed ' .. vim.fn.getline(6))

-- A rename through the editor's own command, which applies the edits; the
-- cursor's column counts bytes.
vim.api.nvim_win_set_cursor(0, { 5, 24 })
vim.lsp.buf.rename('again')
vim.wait(5000, function() return vim.fn.getline(3):find('again') ~= nil end, 20)
for _, line in ipairs({ 3, 5, 7 }) do say('line ' .. vim.fn.getline(line)) end

-- A line typed carelessly, then the editor's formatting through the server.
vim.api.nvim_buf_set_lines(0, 7, 7, false, { '  HLT ;end' })
vim.lsp.buf.formatting_sync(nil, 5000)
say('formatted ' .. vim.fn.getline(8))
say('formatted ' .. vim.fn.getline(5))

vim.fn.writefile(out, os.getenv('RESULT'))
vim.cmd('qa!')
