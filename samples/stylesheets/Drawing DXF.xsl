<?xml version="1.0" encoding="UTF-8"?>
<!--
  Drawing DXF - the points and the line work of a Dexmor job as an AutoCAD
  R12 ASCII drawing (DXF, AC1009), in the job's grid coordinates (x easting,
  y northing, z elevation; drawing units are metres).

  Every point with grid coordinates is a POINT with a TEXT label (its name)
  beside it, on the layer of its feature code, or all on one layer SURVEY
  when the user says so. Points that share a "line" attribute are joined in
  the order of the job: two points by a LINE, more by a 3D POLYLINE, closed
  for buildings (code BLDG), with every vertex at its elevation. Layer names
  are the codes in upper case with every character that R12 does not allow
  in a name replaced by "_"; points without a code go on NO_CODE.

  The file is written in the code page it declares (ANSI_1252, as R12
  expects), with CR LF line ends. The header names the extents, the label
  height and a point style that shows a circle with a cross.

  Group codes and values come from XPath string literals ($eol), so the file
  is the same when whitespace-only text nodes are dropped from this file or
  from the job while loading.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">

<xsl:output method="text" encoding="windows-1252" media-type="image/vnd.dxf"/>
<xsl:strip-space elements="*"/>

<xsl:variable name="fileExt" select="'dxf'"/>

<!-- Settings the user is asked for (definition line, then its current value). -->
<xsl:variable name="userField1" select="'textHeight|Height of the point labels (drawing units, m)|DOUBLE|0.01|10'"/>
<xsl:variable name="textHeight" select="0.5"/>
<xsl:variable name="userField2" select="'layerPerCode|A layer for each feature code|STRINGMENU|2|Yes|No'"/>
<xsl:variable name="layerPerCode" select="'Yes'"/>

<xsl:key name="points-by-code" match="Point" use="@code"/>
<xsl:key name="points-by-line" match="Point" use="@line"/>

<xsl:variable name="eol" select="'&#13;&#10;'"/>
<xsl:variable name="points" select="/DexmorJob/Points/Point[number(Grid/@e) = number(Grid/@e)
                                                            and number(Grid/@n) = number(Grid/@n)]"/>
<!-- a label height the drawing can use, whatever the user typed -->
<xsl:variable name="h" select="number($textHeight) * (number($textHeight) &gt; 0) + 0.5 * not(number($textHeight) &gt; 0)"/>
<xsl:variable name="perCode" select="$layerPerCode != 'No'"/>

<!-- R12 layer names: letters, digits, $, - and _ -->
<xsl:variable name="lowerCase" select="'abcdefghijklmnopqrstuvwxyz'"/>
<xsl:variable name="upperCase" select="'ABCDEFGHIJKLMNOPQRSTUVWXYZ'"/>
<xsl:variable name="nameChars" select="'ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789$-_'"/>
<xsl:variable name="underscores" select="'________________________________________________________________'"/>
<!-- AutoCAD colour numbers of the sample's codes; any other code is white/black (7) -->
<xsl:variable name="colours" select="'|CP:1|TRAV:6|TOPO:7|BLDG:30|TREE:3|FENCE:32|KERB:8|MH:5|'"/>

<!-- ============================================================== file -->
<xsl:template match="/">
  <xsl:call-template name="header"/>
  <xsl:call-template name="tables"/>
  <xsl:value-of select="concat('0', $eol, 'SECTION', $eol, '2', $eol, 'ENTITIES', $eol)"/>
  <xsl:call-template name="lines"/>
  <xsl:apply-templates select="$points"/>
  <xsl:value-of select="concat('0', $eol, 'ENDSEC', $eol, '0', $eol, 'EOF', $eol)"/>
</xsl:template>

<xsl:template name="header">
  <xsl:variable name="aunits">
    <xsl:choose>
      <xsl:when test="normalize-space(/DexmorJob/Units/@angle) = 'gon'">2</xsl:when>
      <xsl:otherwise>0</xsl:otherwise>
    </xsl:choose>
  </xsl:variable>
  <xsl:value-of select="concat('0', $eol, 'SECTION', $eol, '2', $eol, 'HEADER', $eol,
                               '9', $eol, '$ACADVER', $eol, '1', $eol, 'AC1009', $eol,
                               '9', $eol, '$DWGCODEPAGE', $eol, '3', $eol, 'ANSI_1252', $eol,
                               '9', $eol, '$INSBASE', $eol, '10', $eol, '0.0', $eol, '20', $eol, '0.0', $eol,
                               '30', $eol, '0.0', $eol)"/>
  <xsl:if test="$points">
    <xsl:value-of select="concat('9', $eol, '$EXTMIN', $eol)"/>
    <xsl:call-template name="extreme">
      <xsl:with-param name="order" select="'ascending'"/>
    </xsl:call-template>
    <xsl:value-of select="concat('9', $eol, '$EXTMAX', $eol)"/>
    <xsl:call-template name="extreme">
      <xsl:with-param name="order" select="'descending'"/>
    </xsl:call-template>
  </xsl:if>
  <xsl:value-of select="concat('9', $eol, '$LUNITS', $eol, '70', $eol, '2', $eol,
                               '9', $eol, '$LUPREC', $eol, '70', $eol, '3', $eol,
                               '9', $eol, '$AUNITS', $eol, '70', $eol, $aunits, $eol,
                               '9', $eol, '$TEXTSIZE', $eol, '40', $eol, format-number($h, '0.0##'), $eol,
                               '9', $eol, '$PDMODE', $eol, '70', $eol, '34', $eol,
                               '9', $eol, '$PDSIZE', $eol, '40', $eol, format-number(0.5 * $h, '0.0###'), $eol,
                               '0', $eol, 'ENDSEC', $eol)"/>
</xsl:template>

<!-- the smallest (ascending) or largest (descending) easting, northing and elevation -->
<xsl:template name="extreme">
  <xsl:param name="order"/>
  <xsl:for-each select="$points">
    <xsl:sort select="Grid/@e" data-type="number" order="{$order}"/>
    <xsl:if test="position() = 1">
      <xsl:value-of select="concat('10', $eol, format-number(Grid/@e, '0.000'), $eol)"/>
    </xsl:if>
  </xsl:for-each>
  <xsl:for-each select="$points">
    <xsl:sort select="Grid/@n" data-type="number" order="{$order}"/>
    <xsl:if test="position() = 1">
      <xsl:value-of select="concat('20', $eol, format-number(Grid/@n, '0.000'), $eol)"/>
    </xsl:if>
  </xsl:for-each>
  <xsl:variable name="withZ" select="$points[number(Grid/@z) = number(Grid/@z)]"/>
  <xsl:for-each select="$withZ">
    <xsl:sort select="Grid/@z" data-type="number" order="{$order}"/>
    <xsl:if test="position() = 1">
      <xsl:value-of select="concat('30', $eol, format-number(Grid/@z, '0.000'), $eol)"/>
    </xsl:if>
  </xsl:for-each>
  <xsl:if test="not($withZ)">
    <xsl:value-of select="concat('30', $eol, '0.000', $eol)"/>
  </xsl:if>
</xsl:template>

<!-- line type, layer and text style tables -->
<xsl:template name="tables">
  <xsl:variable name="codes" select="$points[generate-id() = generate-id(key('points-by-code', @code)[1])]"/>
  <xsl:value-of select="concat('0', $eol, 'SECTION', $eol, '2', $eol, 'TABLES', $eol,
                               '0', $eol, 'TABLE', $eol, '2', $eol, 'LTYPE', $eol, '70', $eol, '1', $eol,
                               '0', $eol, 'LTYPE', $eol, '2', $eol, 'CONTINUOUS', $eol, '70', $eol, '0', $eol,
                               '3', $eol, 'Solid line', $eol, '72', $eol, '65', $eol, '73', $eol, '0', $eol,
                               '40', $eol, '0.0', $eol,
                               '0', $eol, 'ENDTAB', $eol,
                               '0', $eol, 'TABLE', $eol, '2', $eol, 'LAYER', $eol, '70', $eol,
                               1 + $perCode * count($codes) + not($perCode), $eol)"/>
  <xsl:call-template name="layer-entry">
    <xsl:with-param name="name" select="'0'"/>
    <xsl:with-param name="colour" select="7"/>
  </xsl:call-template>
  <xsl:choose>
    <xsl:when test="$perCode">
      <xsl:call-template name="code-layers">
        <xsl:with-param name="codes" select="$codes"/>
      </xsl:call-template>
    </xsl:when>
    <xsl:otherwise>
      <xsl:call-template name="layer-entry">
        <xsl:with-param name="name" select="'SURVEY'"/>
        <xsl:with-param name="colour" select="7"/>
      </xsl:call-template>
    </xsl:otherwise>
  </xsl:choose>
  <xsl:value-of select="concat('0', $eol, 'ENDTAB', $eol,
                               '0', $eol, 'TABLE', $eol, '2', $eol, 'STYLE', $eol, '70', $eol, '1', $eol,
                               '0', $eol, 'STYLE', $eol, '2', $eol, 'STANDARD', $eol, '70', $eol, '0', $eol,
                               '40', $eol, '0.0', $eol, '41', $eol, '1.0', $eol, '50', $eol, '0.0', $eol,
                               '71', $eol, '0', $eol, '42', $eol, format-number($h, '0.0##'), $eol, '3', $eol, 'txt', $eol,
                               '4', $eol, $eol,
                               '0', $eol, 'ENDTAB', $eol,
                               '0', $eol, 'ENDSEC', $eol)"/>
</xsl:template>

<!-- One layer per code, first come first listed; two codes that give the same
     layer name (such as "a b" and "A_B") share one entry. -->
<xsl:template name="code-layers">
  <xsl:param name="codes"/>
  <xsl:param name="done" select="'|0|'"/>
  <xsl:if test="$codes">
    <xsl:variable name="name">
      <xsl:call-template name="layer-name">
        <xsl:with-param name="code" select="$codes[1]/@code"/>
      </xsl:call-template>
    </xsl:variable>
    <xsl:variable name="new" select="not(contains($done, concat('|', $name, '|')))"/>
    <xsl:if test="$new">
      <xsl:variable name="known" select="substring-before(substring-after($colours, concat('|', $codes[1]/@code, ':')), '|')"/>
      <xsl:call-template name="layer-entry">
        <xsl:with-param name="name" select="$name"/>
        <xsl:with-param name="colour" select="concat($known, substring('7', 1, 1 - boolean($known)))"/>
      </xsl:call-template>
    </xsl:if>
    <xsl:call-template name="code-layers">
      <xsl:with-param name="codes" select="$codes[position() &gt; 1]"/>
      <xsl:with-param name="done" select="concat($done, substring(concat($name, '|'), 1, $new * (string-length($name) + 1)))"/>
    </xsl:call-template>
  </xsl:if>
</xsl:template>

<xsl:template name="layer-entry">
  <xsl:param name="name"/>
  <xsl:param name="colour"/>
  <xsl:value-of select="concat('0', $eol, 'LAYER', $eol, '2', $eol, $name, $eol, '70', $eol, '0', $eol,
                               '62', $eol, $colour, $eol, '6', $eol, 'CONTINUOUS', $eol)"/>
</xsl:template>

<xsl:template name="layer-name">
  <xsl:param name="code"/>
  <xsl:variable name="upper" select="translate(normalize-space($code), $lowerCase, $upperCase)"/>
  <xsl:variable name="bad" select="translate($upper, $nameChars, '')"/>
  <xsl:choose>
    <xsl:when test="not($perCode)">SURVEY</xsl:when>
    <xsl:when test="$upper = ''">NO_CODE</xsl:when>
    <xsl:otherwise>
      <xsl:value-of select="substring(translate($upper, $bad, $underscores), 1, 31)"/>
    </xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- ============================================================== entities -->
<!-- a point and its name beside it, up and to the right -->
<xsl:template match="Point">
  <xsl:variable name="layer">
    <xsl:call-template name="layer-name">
      <xsl:with-param name="code" select="@code"/>
    </xsl:call-template>
  </xsl:variable>
  <xsl:variable name="z">
    <xsl:call-template name="z"/>
  </xsl:variable>
  <xsl:value-of select="concat('0', $eol, 'POINT', $eol, '8', $eol, $layer, $eol,
                               '10', $eol, format-number(Grid/@e, '0.000'), $eol,
                               '20', $eol, format-number(Grid/@n, '0.000'), $eol,
                               '30', $eol, $z, $eol)"/>
  <xsl:value-of select="concat('0', $eol, 'TEXT', $eol, '8', $eol, $layer, $eol,
                               '10', $eol, format-number(Grid/@e + 0.6 * $h, '0.000'), $eol,
                               '20', $eol, format-number(Grid/@n + 0.3 * $h, '0.000'), $eol,
                               '30', $eol, $z, $eol,
                               '40', $eol, format-number($h, '0.0##'), $eol,
                               '1', $eol, normalize-space(@name), $eol)"/>
</xsl:template>

<xsl:template name="z">
  <xsl:choose>
    <xsl:when test="number(Grid/@z) = number(Grid/@z)">
      <xsl:value-of select="format-number(Grid/@z, '0.000')"/>
    </xsl:when>
    <xsl:otherwise>0.000</xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- points sharing a line attribute, in the order of the job; buildings are closed -->
<xsl:template name="lines">
  <xsl:for-each select="$points[normalize-space(@line) != ''
                                and generate-id() = generate-id(key('points-by-line', @line)[1])]">
    <xsl:variable name="members" select="key('points-by-line', @line)[number(Grid/@e) = number(Grid/@e)
                                                                     and number(Grid/@n) = number(Grid/@n)]"/>
    <xsl:variable name="layer">
      <xsl:call-template name="layer-name">
        <xsl:with-param name="code" select="@code"/>
      </xsl:call-template>
    </xsl:variable>
    <xsl:choose>
      <xsl:when test="count($members) = 2">
        <xsl:variable name="z1">
          <xsl:for-each select="$members[1]"><xsl:call-template name="z"/></xsl:for-each>
        </xsl:variable>
        <xsl:variable name="z2">
          <xsl:for-each select="$members[2]"><xsl:call-template name="z"/></xsl:for-each>
        </xsl:variable>
        <xsl:value-of select="concat('0', $eol, 'LINE', $eol, '8', $eol, $layer, $eol,
                                     '10', $eol, format-number($members[1]/Grid/@e, '0.000'), $eol,
                                     '20', $eol, format-number($members[1]/Grid/@n, '0.000'), $eol,
                                     '30', $eol, $z1, $eol,
                                     '11', $eol, format-number($members[2]/Grid/@e, '0.000'), $eol,
                                     '21', $eol, format-number($members[2]/Grid/@n, '0.000'), $eol,
                                     '31', $eol, $z2, $eol)"/>
      </xsl:when>
      <xsl:when test="count($members) &gt; 2">
        <!-- 70: 8 = 3D polyline, + 1 = closed -->
        <xsl:value-of select="concat('0', $eol, 'POLYLINE', $eol, '8', $eol, $layer, $eol,
                                     '66', $eol, '1', $eol,
                                     '10', $eol, '0.0', $eol, '20', $eol, '0.0', $eol, '30', $eol, '0.0', $eol,
                                     '70', $eol, 8 + (@code = 'BLDG'), $eol)"/>
        <xsl:for-each select="$members">
          <xsl:variable name="z">
            <xsl:call-template name="z"/>
          </xsl:variable>
          <xsl:value-of select="concat('0', $eol, 'VERTEX', $eol, '8', $eol, $layer, $eol,
                                       '10', $eol, format-number(Grid/@e, '0.000'), $eol,
                                       '20', $eol, format-number(Grid/@n, '0.000'), $eol,
                                       '30', $eol, $z, $eol,
                                       '70', $eol, '32', $eol)"/>
        </xsl:for-each>
        <xsl:value-of select="concat('0', $eol, 'SEQEND', $eol, '8', $eol, $layer, $eol)"/>
      </xsl:when>
    </xsl:choose>
  </xsl:for-each>
</xsl:template>

</xsl:stylesheet>
