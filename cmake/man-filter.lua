-- The pages of doc/ as man pages.
--
-- Titles: the NAME line (ZksMan.cmake's head file) is each page's title, so
-- the first-level heading that opens a page of doc/ is dropped and the other
-- headings move up a level: "##" becomes a section (.SH), "###" a
-- subsection (.SS). Text between the title and the first heading, which
-- would otherwise fall under NAME (where whatis reads), goes under a
-- section "Description".
--
-- Rules: a Markdown rule ("---") between sections renders as "* * * * *";
-- the man page's section headings already divide them, so rules are
-- dropped.
--
-- Tables: each row becomes a tagged paragraph, its first cell the tag and
-- each other cell a line under it, labelled with its column's heading when
-- there are more than two columns. A terminal of any width shows that
-- without tbl, whose fixed column widths split no long token and overflow
-- narrow terminals.
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

function HorizontalRule()
  return {}
end

function Pandoc(doc)
  local blocks = pandoc.List()
  for i, block in ipairs(doc.blocks) do
    if i == 1 and block.t == 'Header' and block.level == 1 then
      local after = doc.blocks[2]
      if after and after.t ~= 'Header' then
        blocks:insert(pandoc.Header(1, 'Description'))
      end
    elseif block.t == 'Header' then
      block.level = math.max(1, block.level - 1)
      blocks:insert(block)
    else
      blocks:insert(block)
    end
  end
  doc.blocks = blocks
  return doc
end
