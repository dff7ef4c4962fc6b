# cmake -DCONFIG=Netscape.cfg -DOUTPUT=counters.htm [-DEDITION=zh_CN] -P CountersPage.cmake
# Writes the help page of the counters from the default counter configuration: each counter's
# label, what it reports (a value, or a rate per second) and its description, under the group
# headings of the file's comments. The page and the file cannot disagree. The page's own words
# are English, or Simplified Chinese with EDITION zh_CN; the labels, descriptions and headings
# are the configuration's, as the dialog lists them.

function(html_escape out text)
  string(REPLACE "&" "&amp;" text "${text}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  string(REPLACE "\"" "&quot;" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

if(EDITION STREQUAL "zh_CN")
  set(word_rate "每秒速率")
  set(word_value "值")
else()
  set(word_rate "per second")
  set(word_value "value")
endif()

# A CMake list cannot hold the semicolons of the file's comments: they become "<sc>" first.
file(READ "${CONFIG}" content)
string(REPLACE "\r" "" content "${content}")
string(REPLACE ";" "<sc>" content "${content}")
string(REPLACE "\n" ";" lines "${content}")
set(rows "")
set(section "")
set(label "")
set(description "")
set(rate "0")
set(after_rule FALSE)
set(pending_heading "")

macro(flush_counter)
  if(section MATCHES "^[0-9]+$" AND NOT label STREQUAL "")
    html_escape(label_html "${label}")
    html_escape(description_html "${description}")
    if(rate STREQUAL "1")
      set(kind "${word_rate}")
    else()
      set(kind "${word_value}")
    endif()
    if(NOT pending_heading STREQUAL "")
      string(APPEND rows "<tr><th colspan=\"3\" class=\"group\">${pending_heading}</th></tr>\n")
      set(pending_heading "")
    endif()
    string(APPEND rows "<tr><td>${label_html}</td><td>${kind}</td><td>${description_html}</td></tr>\n")
  endif()
  set(label "")
  set(description "")
  set(rate "0")
endmacro()

foreach(line IN LISTS lines)
  if(line MATCHES "^<sc> *-----")
    set(after_rule TRUE)
    continue()
  endif()
  if(after_rule AND line MATCHES "^<sc> *(.+)$")
    set(heading "${CMAKE_MATCH_1}")
    flush_counter()
    set(section "")
    string(REPLACE "<sc>" ";" heading "${heading}")
    # The first phrase of the comment names the group.
    string(REGEX REPLACE "[,.].*$" "" heading "${heading}")
    # A heading shows only when counters follow it.
    html_escape(pending_heading "${heading}")
    set(after_rule FALSE)
    continue()
  endif()
  set(after_rule FALSE)
  string(REPLACE "<sc>" ";" line "${line}")
  if(line MATCHES "^\\[(.*)\\]")
    set(next_section "${CMAKE_MATCH_1}")
    flush_counter()
    set(section "${next_section}")
  elseif(line MATCHES "^Label=(.*)$")
    set(label "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^Description=(.*)$")
    set(description "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^KeepPrevValue=(.*)$")
    string(STRIP "${CMAKE_MATCH_1}" rate)
  endif()
endforeach()
flush_counter()

if(EDITION STREQUAL "zh_CN")
  file(WRITE "${OUTPUT}" "<html>
<head>
<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">
<title>计数器</title>
<link rel=\"stylesheet\" type=\"text/css\" href=\"help.css\">
</head>
<body>
<h1>计数器</h1>
<p>下面是监视器默认配置 <code>dat\\monitors\\Netscape.cfg</code> 中的计数器，与<a href=\"CL_NETSCAPE_MEASUREMENTS.htm\">添加度量</a>对话框列出的一样。报告为<i>每秒速率</i>的计数器是只增不减的总数；监视器报告它在统计信息页面最后两个副本之间增长的速度。报告为<i>值</i>的计数器按页面显示的值报告。</p>
<table>
<tr><th>计数器</th><th>报告为</th><th>测量内容</th></tr>
${rows}</table>
<h2>更改计数器</h2>
<p>每个计数器是配置文件中的一个节 <code>[N]</code>，编号从 0 开始，含有以下键：<code>Counter</code>（页面中值前面的文本）、<code>Label</code>（列表中的名称）、<code>Description</code> 和 <code>KeepPrevValue</code>（<code>1</code> 表示每秒速率）。<code>[Netscape]</code> 节的 <code>Counters</code> 键说明读取多少个节。位于页面表格中的计数器用 <code>TblName</code> 指明表格，用 <code>TblRow</code> 和 <code>TblColumn</code> 指明单元格。参见<a href=\"configuration.htm\">配置文件</a>。更改在监视器再次启动时生效。</p>
</body>
</html>
")
  return()
endif()

file(WRITE "${OUTPUT}" "<html>
<head>
<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">
<title>The counters</title>
<link rel=\"stylesheet\" type=\"text/css\" href=\"help.css\">
</head>
<body>
<h1>The counters</h1>
<p>These are the counters of the monitor's default configuration, <code>dat\\monitors\\Netscape.cfg</code>, as the
<a href=\"CL_NETSCAPE_MEASUREMENTS.htm\">Add Measurements</a> dialog lists them. A counter reported <i>per second</i>
is a total that only grows; the monitor reports how fast it grew between the last two copies of the statistics page. A
<i>value</i> is reported as the page shows it.</p>
<table>
<tr><th>Counter</th><th>Reported as</th><th>What it measures</th></tr>
${rows}</table>
<h2>Changing the counters</h2>
<p>Each counter is a section <code>[N]</code> of the configuration file, numbered from 0, with the keys
<code>Counter</code> (the text that the value follows in the page), <code>Label</code> (the name in the list),
<code>Description</code> and <code>KeepPrevValue</code> (<code>1</code> for a rate per second). The key
<code>Counters</code> of section <code>[Netscape]</code> says how many sections are read. Counters in a table of the
page name the table with <code>TblName</code> and the cell with <code>TblRow</code> and <code>TblColumn</code>.
See <a href=\"configuration.htm\">The configuration file</a>. Changes take effect when the monitor starts again.</p>
</body>
</html>
")
