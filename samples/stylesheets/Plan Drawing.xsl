<?xml version="1.0" encoding="UTF-8"?>
<!--
  Plan Drawing - an SVG plan of the points of a Dexmor job on a landscape
  sheet: grid north up, drawn at the largest round scale (1:100, 1:200,
  1:250, 1:500, 1:1000, ...) at which all points fit; feature lines (points
  sharing a "line" attribute, buildings closed), a symbol per feature code,
  point names (and the elevation of spot heights), a coordinate grid, a scale
  bar of a round length, a north arrow, a legend and a title block.
  Drawing units are millimetres on paper.

  The style sheet never relies on whitespace-only text nodes, neither in the
  job nor in this file, so the drawing is the same when such nodes are
  dropped while loading.
-->
<xsl:stylesheet version="1.0"
    xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns="http://www.w3.org/2000/svg"
    xmlns:xlink="http://www.w3.org/1999/xlink">

<xsl:output method="xml" encoding="UTF-8" indent="yes" media-type="image/svg+xml"/>
<xsl:strip-space elements="*"/>

<xsl:variable name="fileExt" select="'svg'"/>

<!-- Settings the user is asked for (definition line, then its current value). -->
<xsl:variable name="userField1" select="'drawingTitle|Drawing title|STRING'"/>
<xsl:variable name="drawingTitle" select="'Topographic survey'"/>
<xsl:variable name="userField2" select="'paper|Sheet size|STRINGMENU|4|A4 landscape|A3 landscape|A2 landscape|A1 landscape'"/>
<xsl:variable name="paper" select="'A3 landscape'"/>
<xsl:variable name="userField3" select="'labelSize|Height of point labels on paper (mm)|DOUBLE|0.5|5.0'"/>
<xsl:variable name="labelSize" select="1.4"/>

<xsl:key name="points-by-code" match="Point" use="@code"/>
<xsl:key name="points-by-line" match="Point" use="@line"/>
<xsl:key name="code" match="FeatureCodes/Code" use="@name"/>

<xsl:variable name="job" select="/DexmorJob"/>
<xsl:variable name="points" select="/DexmorJob/Points/Point[number(Grid/@e) = number(Grid/@e)
                                                            and number(Grid/@n) = number(Grid/@n)]"/>
<xsl:variable name="knownCodes" select="'|CP|TRAV|TOPO|BLDG|TREE|FENCE|KERB|MH|'"/>
<xsl:variable name="sp" select="' '"/>

<!-- ============================================================== sheet -->
<xsl:variable name="sheets" select="'|A4 landscape:297x210|A3 landscape:420x297|A2 landscape:594x420|A1 landscape:841x594|'"/>
<xsl:variable name="sheetSize">
  <xsl:choose>
    <xsl:when test="contains($sheets, concat('|', $paper, ':'))">
      <xsl:value-of select="substring-before(substring-after($sheets, concat('|', $paper, ':')), '|')"/>
    </xsl:when>
    <xsl:otherwise>
      <xsl:text>420x297</xsl:text>
    </xsl:otherwise>
  </xsl:choose>
</xsl:variable>
<xsl:variable name="sheetName">
  <xsl:choose>
    <xsl:when test="contains($sheets, concat('|', $paper, ':'))">
      <xsl:value-of select="substring-before($paper, ' ')"/>
    </xsl:when>
    <xsl:otherwise>
      <xsl:text>A3</xsl:text>
    </xsl:otherwise>
  </xsl:choose>
</xsl:variable>
<xsl:variable name="W" select="number(substring-before($sheetSize, 'x'))"/>
<xsl:variable name="H" select="number(substring-after($sheetSize, 'x'))"/>
<xsl:variable name="margin" select="10"/>
<xsl:variable name="band" select="42"/>            <!-- height of the strip with title block -->
<xsl:variable name="pad" select="8"/>              <!-- free border inside the map area -->
<xsl:variable name="mapX" select="$margin"/>
<xsl:variable name="mapY" select="$margin"/>
<xsl:variable name="mapW" select="$W - 2 * $margin"/>
<xsl:variable name="mapH" select="$H - 2 * $margin - $band"/>
<xsl:variable name="bandY" select="$H - $margin - $band"/>
<xsl:variable name="titleW" select="110"/>
<xsl:variable name="titleX" select="$W - $margin - $titleW"/>
<xsl:variable name="label" select="number($labelSize) * (number($labelSize) &gt; 0) + 1.4 * not(number($labelSize) &gt; 0)"/>

<!-- ============================================================== extents -->
<xsl:variable name="minE">
  <xsl:for-each select="$points">
    <xsl:sort select="Grid/@e" data-type="number"/>
    <xsl:if test="position() = 1"><xsl:value-of select="Grid/@e"/></xsl:if>
  </xsl:for-each>
</xsl:variable>
<xsl:variable name="maxE">
  <xsl:for-each select="$points">
    <xsl:sort select="Grid/@e" data-type="number" order="descending"/>
    <xsl:if test="position() = 1"><xsl:value-of select="Grid/@e"/></xsl:if>
  </xsl:for-each>
</xsl:variable>
<xsl:variable name="minN">
  <xsl:for-each select="$points">
    <xsl:sort select="Grid/@n" data-type="number"/>
    <xsl:if test="position() = 1"><xsl:value-of select="Grid/@n"/></xsl:if>
  </xsl:for-each>
</xsl:variable>
<xsl:variable name="maxN">
  <xsl:for-each select="$points">
    <xsl:sort select="Grid/@n" data-type="number" order="descending"/>
    <xsl:if test="position() = 1"><xsl:value-of select="Grid/@n"/></xsl:if>
  </xsl:for-each>
</xsl:variable>
<xsl:variable name="hasPoints" select="count($points) &gt; 0"/>
<xsl:variable name="midE" select="(number($minE) + number($maxE)) div 2"/>
<xsl:variable name="midN" select="(number($minN) + number($maxN)) div 2"/>
<xsl:variable name="needE" select="(number($maxE) - number($minE)) * 1000 div ($mapW - 2 * $pad)"/>
<xsl:variable name="needN" select="(number($maxN) - number($minN)) * 1000 div ($mapH - 2 * $pad)"/>
<xsl:variable name="need" select="($needE &gt;= $needN) * $needE + ($needE &lt; $needN) * $needN"/>

<!-- scale denominator: the smallest of 100, 200, 250, 500, 1000, 1250, 2000, ... that fits -->
<xsl:variable name="scaleRTF">
  <xsl:choose>
    <xsl:when test="$hasPoints">
      <xsl:call-template name="round-scale">
        <xsl:with-param name="need" select="$need"/>
      </xsl:call-template>
    </xsl:when>
    <xsl:otherwise>
      <xsl:text>100</xsl:text>
    </xsl:otherwise>
  </xsl:choose>
</xsl:variable>
<xsl:variable name="scale" select="number($scaleRTF)"/>
<xsl:variable name="f" select="1000 div $scale"/>        <!-- paper mm per metre -->
<xsl:variable name="cx" select="$mapX + $mapW div 2"/>
<xsl:variable name="cy" select="$mapY + $mapH div 2"/>

<!-- scale bar: the longest length 1, 2 or 5 x 10^k metres that is at most 60 mm on paper -->
<xsl:variable name="barRTF">
  <xsl:call-template name="nice-at-most">
    <xsl:with-param name="limit" select="60 * $scale div 1000"/>
  </xsl:call-template>
</xsl:variable>
<xsl:variable name="barLength" select="number($barRTF)"/>
<xsl:variable name="barSegments" select="4 + not(starts-with(string($barLength), '2'))"/>

<!-- grid: the shortest interval 1, 2 or 5 x 10^k metres that is at least 40 mm on paper -->
<xsl:variable name="gridRTF">
  <xsl:call-template name="nice-at-least">
    <xsl:with-param name="limit" select="40 * $scale div 1000"/>
  </xsl:call-template>
</xsl:variable>
<xsl:variable name="grid" select="number($gridRTF)"/>

<!-- ============================================================== drawing -->
<xsl:template match="/">
  <svg version="1.1" width="{$W}mm" height="{$H}mm" viewBox="0 0 {$W} {$H}"
       font-family="DejaVu Sans, Arial, Helvetica, sans-serif">
    <title>
      <xsl:value-of select="concat($drawingTitle, ' – ', normalize-space($job/JobProperties/Name))"/>
    </title>
    <defs>
      <clipPath id="map-area">
        <rect x="{$mapX}" y="{$mapY}" width="{$mapW}" height="{$mapH}"/>
      </clipPath>
      <g id="s-CP">
        <polygon points="0,-1.8 1.56,0.9 -1.56,0.9" fill="none" stroke="#c00000" stroke-width="0.25"/>
        <circle r="0.3" fill="#c00000"/>
      </g>
      <g id="s-TRAV">
        <circle r="1.2" fill="none" stroke="#7030a0" stroke-width="0.25"/>
        <path d="M-1.2,0H1.2M0,-1.2V1.2" stroke="#7030a0" stroke-width="0.15"/>
      </g>
      <g id="s-TOPO">
        <path d="M-0.6,0H0.6M0,-0.6V0.6" stroke="#000000" stroke-width="0.15"/>
      </g>
      <g id="s-BLDG">
        <rect x="-0.4" y="-0.4" width="0.8" height="0.8" fill="#444444"/>
      </g>
      <g id="s-TREE">
        <circle r="2.2" fill="#cfe8c4" fill-opacity="0.6" stroke="#2e7d32" stroke-width="0.2"/>
        <circle r="0.25" fill="#2e7d32"/>
      </g>
      <g id="s-FENCE">
        <path d="M-0.5,-0.5L0.5,0.5M-0.5,0.5L0.5,-0.5" stroke="#8d5524" stroke-width="0.18"/>
      </g>
      <g id="s-KERB">
        <path d="M0,-0.55L0.55,0L0,0.55L-0.55,0Z" fill="#777777"/>
      </g>
      <g id="s-MH">
        <rect x="-0.9" y="-0.9" width="1.8" height="1.8" fill="#ffffff" stroke="#1f5fa8" stroke-width="0.2"/>
        <path d="M-0.9,-0.9L0.9,0.9M-0.9,0.9L0.9,-0.9" stroke="#1f5fa8" stroke-width="0.15"/>
      </g>
      <g id="s-other">
        <circle r="0.45" fill="#000000"/>
      </g>
    </defs>

    <rect x="0" y="0" width="{$W}" height="{$H}" fill="#ffffff"/>

    <g clip-path="url(#map-area)">
      <xsl:if test="$hasPoints">
        <xsl:call-template name="grid"/>
        <xsl:call-template name="lines"/>
        <xsl:call-template name="symbols"/>
        <xsl:call-template name="labels"/>
      </xsl:if>
    </g>
    <xsl:if test="not($hasPoints)">
      <text x="{$cx}" y="{$cy}" font-size="5" text-anchor="middle" fill="#888888">The job has no points with grid coordinates.</text>
    </xsl:if>

    <!-- frame and the strip at the bottom -->
    <rect x="{$margin}" y="{$margin}" width="{$mapW}" height="{$H - 2 * $margin}"
          fill="none" stroke="#000000" stroke-width="0.5"/>
    <path d="M{$margin},{$bandY}H{$W - $margin}" stroke="#000000" stroke-width="0.35"/>
    <xsl:call-template name="north-arrow"/>
    <xsl:call-template name="scale-bar"/>
    <xsl:call-template name="legend"/>
    <xsl:call-template name="title-block"/>
  </svg>
</xsl:template>

<!-- ============================================================== map content -->
<xsl:template name="grid">
  <xsl:variable name="e0" select="ceiling(($midE - ($mapW div 2) div $f) div $grid) * $grid"/>
  <xsl:variable name="n0" select="ceiling(($midN - ($mapH div 2) div $f) div $grid) * $grid"/>
  <g stroke="#9a9a9a" stroke-width="0.15" fill="#7a7a7a" font-size="2">
    <xsl:call-template name="grid-column">
      <xsl:with-param name="e" select="$e0"/>
      <xsl:with-param name="n0" select="$n0"/>
      <xsl:with-param name="first" select="true()"/>
    </xsl:call-template>
  </g>
</xsl:template>

<xsl:template name="grid-column">
  <xsl:param name="e"/>
  <xsl:param name="n0"/>
  <xsl:param name="first"/>
  <xsl:variable name="x" select="$cx + ($e - $midE) * $f"/>
  <xsl:if test="$x &lt;= $mapX + $mapW">
    <text x="{format-number($x + 0.6, '0.00')}" y="{format-number($mapY + $mapH - 1.2, '0.00')}" stroke="none">
      <xsl:value-of select="concat('E ', format-number($e, '0'))"/>
    </text>
    <xsl:call-template name="grid-cross">
      <xsl:with-param name="e" select="$e"/>
      <xsl:with-param name="n" select="$n0"/>
      <xsl:with-param name="first" select="$first"/>
    </xsl:call-template>
    <xsl:call-template name="grid-column">
      <xsl:with-param name="e" select="$e + $grid"/>
      <xsl:with-param name="n0" select="$n0"/>
      <xsl:with-param name="first" select="false()"/>
    </xsl:call-template>
  </xsl:if>
</xsl:template>

<xsl:template name="grid-cross">
  <xsl:param name="e"/>
  <xsl:param name="n"/>
  <xsl:param name="first"/>
  <xsl:variable name="x" select="$cx + ($e - $midE) * $f"/>
  <xsl:variable name="y" select="$cy - ($n - $midN) * $f"/>
  <xsl:if test="$y &gt;= $mapY">
    <path d="M{format-number($x - 2, '0.00')},{format-number($y, '0.00')}h4m-2,-2v4"/>
    <xsl:if test="$first">
      <text x="{format-number($mapX + 1.2, '0.00')}" y="{format-number($y - 0.6, '0.00')}" stroke="none">
        <xsl:value-of select="concat('N ', format-number($n, '0'))"/>
      </text>
    </xsl:if>
    <xsl:call-template name="grid-cross">
      <xsl:with-param name="e" select="$e"/>
      <xsl:with-param name="n" select="$n + $grid"/>
      <xsl:with-param name="first" select="$first"/>
    </xsl:call-template>
  </xsl:if>
</xsl:template>

<!-- points sharing a line attribute, in the order of the job; buildings are closed -->
<xsl:template name="lines">
  <g fill="none" stroke-linejoin="round" stroke-linecap="round">
    <xsl:for-each select="$points[normalize-space(@line) != ''
                                  and generate-id() = generate-id(key('points-by-line', @line)[1])]">
      <xsl:variable name="members" select="key('points-by-line', @line)[number(Grid/@e) = number(Grid/@e)
                                                                       and number(Grid/@n) = number(Grid/@n)]"/>
      <xsl:if test="count($members) &gt; 1">
        <xsl:variable name="closed" select="@code = 'BLDG' and count($members) &gt; 2"/>
        <xsl:element name="{substring('polylinepolygon', 1 + 8 * $closed, 8 - $closed)}">
          <xsl:attribute name="points">
            <xsl:for-each select="$members">
              <xsl:if test="position() &gt; 1">
                <xsl:value-of select="$sp"/>
              </xsl:if>
              <xsl:value-of select="concat(format-number($cx + (Grid/@e - $midE) * $f, '0.00'), ',',
                                           format-number($cy - (Grid/@n - $midN) * $f, '0.00'))"/>
            </xsl:for-each>
          </xsl:attribute>
          <xsl:choose>
            <xsl:when test="@code = 'BLDG'">
              <xsl:attribute name="fill">#e6e6e6</xsl:attribute>
              <xsl:attribute name="stroke">#333333</xsl:attribute>
              <xsl:attribute name="stroke-width">0.35</xsl:attribute>
            </xsl:when>
            <xsl:when test="@code = 'FENCE'">
              <xsl:attribute name="stroke">#8d5524</xsl:attribute>
              <xsl:attribute name="stroke-width">0.2</xsl:attribute>
              <xsl:attribute name="stroke-dasharray">1.5,0.6</xsl:attribute>
            </xsl:when>
            <xsl:when test="@code = 'KERB'">
              <xsl:attribute name="stroke">#555555</xsl:attribute>
              <xsl:attribute name="stroke-width">0.3</xsl:attribute>
            </xsl:when>
            <xsl:otherwise>
              <xsl:attribute name="stroke">#000000</xsl:attribute>
              <xsl:attribute name="stroke-width">0.2</xsl:attribute>
            </xsl:otherwise>
          </xsl:choose>
        </xsl:element>
      </xsl:if>
    </xsl:for-each>
  </g>
</xsl:template>

<xsl:template name="symbols">
  <g>
    <xsl:for-each select="$points">
      <use x="{format-number($cx + (Grid/@e - $midE) * $f, '0.00')}"
           y="{format-number($cy - (Grid/@n - $midN) * $f, '0.00')}">
        <xsl:attribute name="xlink:href">
          <xsl:call-template name="symbol-ref">
            <xsl:with-param name="code" select="@code"/>
          </xsl:call-template>
        </xsl:attribute>
      </use>
    </xsl:for-each>
  </g>
</xsl:template>

<xsl:template name="labels">
  <g font-size="{$label}" fill="#000000">
    <xsl:for-each select="$points">
      <xsl:variable name="x" select="$cx + (Grid/@e - $midE) * $f"/>
      <xsl:variable name="y" select="$cy - (Grid/@n - $midN) * $f"/>
      <text x="{format-number($x + 0.5 + 0.5 * $label, '0.00')}" y="{format-number($y - 0.3, '0.00')}">
        <xsl:value-of select="@name"/>
      </text>
      <xsl:if test="@code = 'TOPO' and number(Grid/@z) = number(Grid/@z)">
        <text x="{format-number($x + 0.5 + 0.5 * $label, '0.00')}" y="{format-number($y + 0.3 + 0.8 * $label, '0.00')}"
              font-size="{0.85 * $label}" fill="#555555">
          <xsl:value-of select="format-number(Grid/@z, '0.00')"/>
        </text>
      </xsl:if>
    </xsl:for-each>
  </g>
</xsl:template>

<xsl:template name="symbol-ref">
  <xsl:param name="code"/>
  <xsl:choose>
    <xsl:when test="$code != '' and contains($knownCodes, concat('|', $code, '|'))">
      <xsl:value-of select="concat('#s-', $code)"/>
    </xsl:when>
    <xsl:otherwise>
      <xsl:text>#s-other</xsl:text>
    </xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- ============================================================== furniture -->
<xsl:template name="north-arrow">
  <xsl:variable name="x" select="$margin + 13"/>
  <xsl:variable name="y" select="$bandY + 24"/>
  <g transform="translate({$x},{$y})">
    <path d="M0,-15L5,7L0,3Z" fill="#000000"/>
    <path d="M0,-15L-5,7L0,3Z" fill="#ffffff" stroke="#000000" stroke-width="0.3"/>
    <text x="0" y="-17" font-size="5" font-weight="bold" text-anchor="middle">N</text>
    <text x="0" y="12" font-size="2" text-anchor="middle">grid north</text>
  </g>
</xsl:template>

<xsl:template name="scale-bar">
  <xsl:variable name="x" select="$margin + 30"/>
  <xsl:variable name="y" select="$bandY + 22"/>
  <xsl:variable name="segment" select="$barLength * $f div $barSegments"/>
  <text x="{$x}" y="{$y - 8}" font-size="3.5" font-weight="bold">
    <xsl:value-of select="concat('Scale 1:', $scale)"/>
  </text>
  <text x="{$x}" y="{$y - 3.5}" font-size="2.2">
    <xsl:value-of select="concat('on ', $sheetName, ', metres')"/>
  </text>
  <g stroke="#000000" stroke-width="0.2">
    <xsl:call-template name="scale-bar-segment">
      <xsl:with-param name="x" select="$x"/>
      <xsl:with-param name="y" select="$y"/>
      <xsl:with-param name="width" select="$segment"/>
      <xsl:with-param name="i" select="0"/>
    </xsl:call-template>
  </g>
  <g font-size="2.2" text-anchor="middle">
    <text x="{$x}" y="{$y + 5}">0</text>
    <text x="{format-number($x + $barSegments * $segment div 2, '0.00')}" y="{$y + 5}">
      <xsl:value-of select="$barLength div 2"/>
    </text>
    <text x="{format-number($x + $barSegments * $segment, '0.00')}" y="{$y + 5}">
      <xsl:value-of select="concat($barLength, ' m')"/>
    </text>
  </g>
</xsl:template>

<xsl:template name="scale-bar-segment">
  <xsl:param name="x"/>
  <xsl:param name="y"/>
  <xsl:param name="width"/>
  <xsl:param name="i"/>
  <xsl:if test="$i &lt; $barSegments">
    <rect x="{format-number($x + $i * $width, '0.00')}" y="{$y}" width="{format-number($width, '0.00')}" height="1.6"
          fill="{substring('#000000#ffffff', 1 + 7 * ($i mod 2), 7)}"/>
    <xsl:call-template name="scale-bar-segment">
      <xsl:with-param name="x" select="$x"/>
      <xsl:with-param name="y" select="$y"/>
      <xsl:with-param name="width" select="$width"/>
      <xsl:with-param name="i" select="$i + 1"/>
    </xsl:call-template>
  </xsl:if>
</xsl:template>

<!-- codes of the job's code list that are used, then used codes not in the list; at most 14 -->
<xsl:template name="legend">
  <xsl:variable name="entries" select="$job/FeatureCodes/Code[key('points-by-code', @name)]
                                       | $points[normalize-space(@code) != ''
                                                 and generate-id() = generate-id(key('points-by-code', @code)[1])
                                                 and not(key('code', @code))]"/>
  <xsl:variable name="x0" select="$titleX - 78"/>
  <g font-size="2.3">
    <xsl:for-each select="$entries[position() &lt;= 14]">
      <xsl:variable name="code" select="concat(self::Code/@name, self::Point/@code)"/>
      <xsl:variable name="x" select="$x0 + 38 * floor((position() - 1) div 7)"/>
      <xsl:variable name="y" select="$bandY + 5.5 + 5.2 * ((position() - 1) mod 7)"/>
      <use x="{$x + 3}" y="{$y}">
        <xsl:attribute name="xlink:href">
          <xsl:call-template name="symbol-ref">
            <xsl:with-param name="code" select="$code"/>
          </xsl:call-template>
        </xsl:attribute>
      </use>
      <text x="{$x + 7}" y="{$y + 0.8}">
        <xsl:value-of select="$code"/>
        <xsl:if test="@description">
          <xsl:value-of select="concat(' – ', @description)"/>
        </xsl:if>
      </text>
    </xsl:for-each>
  </g>
</xsl:template>

<xsl:template name="title-block">
  <xsl:variable name="p" select="$job/JobProperties"/>
  <xsl:variable name="from" select="normalize-space($p/FieldworkStart)"/>
  <xsl:variable name="to" select="normalize-space($p/FieldworkEnd)"/>
  <xsl:variable name="dates">
    <xsl:value-of select="$from"/>
    <xsl:if test="$to != '' and $to != $from">
      <xsl:value-of select="concat(' – ', $to)"/>
    </xsl:if>
  </xsl:variable>
  <xsl:variable name="x" select="$titleX + 3"/>
  <rect x="{$titleX}" y="{$bandY}" width="{$titleW}" height="{$band}" fill="none" stroke="#000000" stroke-width="0.35"/>
  <path d="M{$titleX},{$bandY + 11.5}h{$titleW}" stroke="#000000" stroke-width="0.2"/>
  <xsl:call-template name="title-line">
    <xsl:with-param name="y" select="$bandY + 5.2"/>
    <xsl:with-param name="size" select="3.8"/>
    <xsl:with-param name="bold" select="true()"/>
    <xsl:with-param name="text" select="$drawingTitle"/>
  </xsl:call-template>
  <xsl:call-template name="title-line">
    <xsl:with-param name="y" select="$bandY + 9.6"/>
    <xsl:with-param name="size" select="2.8"/>
    <xsl:with-param name="text" select="normalize-space($p/Name)"/>
  </xsl:call-template>
  <xsl:call-template name="title-line">
    <xsl:with-param name="y" select="$bandY + 15.6"/>
    <xsl:with-param name="text" select="concat('Client: ', normalize-space($p/Client))"/>
  </xsl:call-template>
  <xsl:call-template name="title-line">
    <xsl:with-param name="y" select="$bandY + 19.9"/>
    <xsl:with-param name="text" select="concat('Location: ', normalize-space($p/Location))"/>
  </xsl:call-template>
  <xsl:call-template name="title-line">
    <xsl:with-param name="y" select="$bandY + 24.2"/>
    <xsl:with-param name="text" select="concat('Job ', normalize-space($p/Number), ' · fieldwork ', $dates)"/>
  </xsl:call-template>
  <xsl:call-template name="title-line">
    <xsl:with-param name="y" select="$bandY + 28.5"/>
    <xsl:with-param name="text" select="concat('Surveyed by ', normalize-space($p/Surveyor), ', ', normalize-space($p/Company))"/>
  </xsl:call-template>
  <xsl:call-template name="title-line">
    <xsl:with-param name="y" select="$bandY + 32.8"/>
    <xsl:with-param name="text" select="concat($job/CoordinateSystem/@name, ' · heights ', $job/CoordinateSystem/VerticalDatum/@name)"/>
  </xsl:call-template>
  <xsl:call-template name="title-line">
    <xsl:with-param name="y" select="$bandY + 37.1"/>
    <xsl:with-param name="text" select="concat('Scale 1:', $scale, ' on ', $sheetName, ' · ', count($points), ' points · drawn with Zandrel')"/>
  </xsl:call-template>
</xsl:template>

<!-- one line of the title block, made smaller when it would not fit -->
<xsl:template name="title-line">
  <xsl:param name="y"/>
  <xsl:param name="text"/>
  <xsl:param name="size" select="2.4"/>
  <xsl:param name="bold" select="false()"/>
  <xsl:variable name="fit" select="($titleW - 6) div (0.6 * string-length($text) + 0.001)"/>
  <text x="{$titleX + 3}" y="{$y}">
    <xsl:attribute name="font-size">
      <xsl:choose>
        <xsl:when test="$fit &lt; $size"><xsl:value-of select="format-number($fit, '0.00')"/></xsl:when>
        <xsl:otherwise><xsl:value-of select="$size"/></xsl:otherwise>
      </xsl:choose>
    </xsl:attribute>
    <xsl:if test="$bold">
      <xsl:attribute name="font-weight">bold</xsl:attribute>
    </xsl:if>
    <xsl:value-of select="$text"/>
  </text>
</xsl:template>

<!-- ============================================================== numbers -->
<!-- smallest of 100, 200, 250, 500, 1000, 1250, 2000, 2500, 5000, 10000, 12500, ...
     that is >= $need (1.25 times a power of ten only from 1:1250 on) -->
<xsl:template name="round-scale">
  <xsl:param name="need"/>
  <xsl:param name="power" select="100"/>
  <xsl:param name="i" select="1"/>
  <xsl:variable name="den" select="$power * substring-before(substring-after('|1:1|2:1.25|3:2|4:2.5|5:5|', concat('|', $i, ':')), '|')"/>
  <xsl:choose>
    <xsl:when test="($den &gt;= $need and not($i = 2 and $power &lt; 1000)) or $power &gt;= 100000000">
      <xsl:value-of select="$den"/>
    </xsl:when>
    <xsl:otherwise>
      <xsl:call-template name="round-scale">
        <xsl:with-param name="need" select="$need"/>
        <xsl:with-param name="power" select="$power * (1 + 9 * ($i = 5))"/>
        <xsl:with-param name="i" select="$i mod 5 + 1"/>
      </xsl:call-template>
    </xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- largest of 1, 2, 5, 10, 20, 50, ... that is <= $limit (at least 1) -->
<xsl:template name="nice-at-most">
  <xsl:param name="limit"/>
  <xsl:param name="power" select="1"/>
  <xsl:param name="i" select="1"/>
  <xsl:variable name="value" select="$power * substring('125', $i, 1)"/>
  <xsl:variable name="next" select="$power * (1 + 9 * ($i = 3)) * substring('125', $i mod 3 + 1, 1)"/>
  <xsl:choose>
    <xsl:when test="$next &gt; $limit or $power &gt;= 100000000">
      <xsl:value-of select="$value"/>
    </xsl:when>
    <xsl:otherwise>
      <xsl:call-template name="nice-at-most">
        <xsl:with-param name="limit" select="$limit"/>
        <xsl:with-param name="power" select="$power * (1 + 9 * ($i = 3))"/>
        <xsl:with-param name="i" select="$i mod 3 + 1"/>
      </xsl:call-template>
    </xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- smallest of 1, 2, 5, 10, 20, 50, ... that is >= $limit -->
<xsl:template name="nice-at-least">
  <xsl:param name="limit"/>
  <xsl:param name="power" select="1"/>
  <xsl:param name="i" select="1"/>
  <xsl:variable name="value" select="$power * substring('125', $i, 1)"/>
  <xsl:choose>
    <xsl:when test="$value &gt;= $limit or $power &gt;= 100000000">
      <xsl:value-of select="$value"/>
    </xsl:when>
    <xsl:otherwise>
      <xsl:call-template name="nice-at-least">
        <xsl:with-param name="limit" select="$limit"/>
        <xsl:with-param name="power" select="$power * (1 + 9 * ($i = 3))"/>
        <xsl:with-param name="i" select="$i mod 3 + 1"/>
      </xsl:call-template>
    </xsl:otherwise>
  </xsl:choose>
</xsl:template>

</xsl:stylesheet>
