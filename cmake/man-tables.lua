-- Tables in the man pages: each row becomes a tagged paragraph, its first
-- cell the tag and each other cell a line under it, labelled with its
-- column's heading when there are more than two columns. A terminal of any
-- width shows that without tbl, whose fixed column widths split no long
-- token and overflow narrow terminals.
local function inlines(blocks)
  local out = pandoc.List()
  for i, block in ipairs(blocks) do
    if i > 1 then out:insert(pandoc.Space()) end
    out:extend(block.content)
  end
  return out
end

function Table(t)
  local heading = #t.head.rows > 0 and t.head.rows[1].cells or {}
  local items = pandoc.List()
  for _, body in ipairs(t.bodies) do
    for _, row in ipairs(body.body) do
      local lines = pandoc.List()
      for j = 2, #row.cells do
        local line = pandoc.List()
        if #row.cells > 2 and heading[j] then
          line:insert(pandoc.Emph(inlines(heading[j].contents)))
          line:extend({pandoc.Str(':'), pandoc.Space()})
        end
        line:extend(inlines(row.cells[j].contents))
        lines:insert(pandoc.Plain(line))
        if j < #row.cells then lines:insert(pandoc.RawBlock('man', '.br')) end
      end
      items:insert({inlines(row.cells[1].contents), {lines}})
    end
  end
  return pandoc.DefinitionList(items)
end
