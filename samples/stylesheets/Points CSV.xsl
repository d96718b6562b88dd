<?xml version="1.0" encoding="UTF-8"?>
<!--
  Points CSV - one line per point of a Dexmor job:
  Name, Easting, Northing, Elevation, Code, Description.

  Fields that contain the delimiter, a double quote or a line break are
  enclosed in double quotes, and double quotes inside them are doubled
  (the usual CSV rules, as spreadsheet programs read them).

  The style sheet never relies on whitespace-only text nodes, neither in the
  job nor in this file: the delimiter and the line ending come from XPath
  string literals ($sep, $eol), so the result is the same when such nodes
  are dropped while loading.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">

<xsl:output method="text" encoding="UTF-8"/>
<xsl:strip-space elements="*"/>

<xsl:variable name="fileExt" select="'csv'"/>

<!-- Settings the user is asked for (definition line, then its current value). -->
<xsl:variable name="userField1" select="'delimiter|Field delimiter|STRINGMENU|3|Comma|Semicolon|Tab'"/>
<xsl:variable name="delimiter" select="'Comma'"/>
<xsl:variable name="userField2" select="'decimals|Decimal places for coordinates|INTEGER|0|6'"/>
<xsl:variable name="decimals" select="3"/>
<xsl:variable name="userField3" select="'headerLine|First line with column names|STRINGMENU|2|Yes|No'"/>
<xsl:variable name="headerLine" select="'Yes'"/>
<xsl:variable name="userField4" select="'lineEnding|Line ending|STRINGMENU|2|CR LF (Windows)|LF (Linux)'"/>
<xsl:variable name="lineEnding" select="'CR LF (Windows)'"/>
<xsl:variable name="userField5" select="'fileExt|File name extension|STRING'"/>

<!-- The delimiter character: Semicolon, Tab, anything else is a comma. -->
<xsl:variable name="sep" select="substring(',;&#9;', 1 + ($delimiter = 'Semicolon') + 2 * ($delimiter = 'Tab'), 1)"/>

<!-- CR LF unless the user chose LF. -->
<xsl:variable name="eol" select="substring('&#13;&#10;', 1 + ($lineEnding = 'LF (Linux)'))"/>

<!-- format-number pattern with $decimals places (0 to 9). -->
<xsl:variable name="numberPattern">
  <xsl:choose>
    <xsl:when test="$decimals &gt;= 1">
      <xsl:value-of select="concat('0.', substring('000000000', 1, $decimals))"/>
    </xsl:when>
    <xsl:otherwise>
      <xsl:text>0</xsl:text>
    </xsl:otherwise>
  </xsl:choose>
</xsl:variable>
<xsl:variable name="pattern" select="string($numberPattern)"/>

<xsl:template match="/">
  <xsl:if test="$headerLine != 'No'">
    <xsl:value-of select="concat('Name', $sep, 'Easting', $sep, 'Northing', $sep,
                                 'Elevation', $sep, 'Code', $sep, 'Description', $eol)"/>
  </xsl:if>
  <xsl:apply-templates select="DexmorJob/Points/Point"/>
</xsl:template>

<xsl:template match="Point">
  <xsl:call-template name="field">
    <xsl:with-param name="value" select="normalize-space(@name)"/>
  </xsl:call-template>
  <xsl:value-of select="$sep"/>
  <xsl:call-template name="number">
    <xsl:with-param name="value" select="Grid/@e"/>
  </xsl:call-template>
  <xsl:value-of select="$sep"/>
  <xsl:call-template name="number">
    <xsl:with-param name="value" select="Grid/@n"/>
  </xsl:call-template>
  <xsl:value-of select="$sep"/>
  <xsl:call-template name="number">
    <xsl:with-param name="value" select="Grid/@z"/>
  </xsl:call-template>
  <xsl:value-of select="$sep"/>
  <xsl:call-template name="field">
    <xsl:with-param name="value" select="normalize-space(@code)"/>
  </xsl:call-template>
  <xsl:value-of select="$sep"/>
  <xsl:call-template name="field">
    <xsl:with-param name="value" select="normalize-space(Description)"/>
  </xsl:call-template>
  <xsl:value-of select="$eol"/>
</xsl:template>

<!-- A coordinate; an empty field when it is missing or not a number. -->
<xsl:template name="number">
  <xsl:param name="value"/>
  <xsl:if test="string(number($value)) != 'NaN'">
    <xsl:value-of select="format-number($value, $pattern)"/>
  </xsl:if>
</xsl:template>

<!-- A text field, quoted when it has to be. -->
<xsl:template name="field">
  <xsl:param name="value"/>
  <xsl:choose>
    <xsl:when test="contains($value, '&quot;')">
      <xsl:text>"</xsl:text>
      <xsl:call-template name="double-quotes">
        <xsl:with-param name="value" select="$value"/>
      </xsl:call-template>
      <xsl:text>"</xsl:text>
    </xsl:when>
    <xsl:when test="contains($value, $sep) or contains($value, '&#10;') or contains($value, '&#13;')">
      <xsl:value-of select="concat('&quot;', $value, '&quot;')"/>
    </xsl:when>
    <xsl:otherwise>
      <xsl:value-of select="$value"/>
    </xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template name="double-quotes">
  <xsl:param name="value"/>
  <xsl:choose>
    <xsl:when test="contains($value, '&quot;')">
      <xsl:value-of select="concat(substring-before($value, '&quot;'), '&quot;&quot;')"/>
      <xsl:call-template name="double-quotes">
        <xsl:with-param name="value" select="substring-after($value, '&quot;')"/>
      </xsl:call-template>
    </xsl:when>
    <xsl:otherwise>
      <xsl:value-of select="$value"/>
    </xsl:otherwise>
  </xsl:choose>
</xsl:template>

</xsl:stylesheet>
